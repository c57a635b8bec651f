#pragma once

// Small pieces the benchmark programs share.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <vector>

// The value at fraction p (0..1) of the sorted values, nearest rank.
inline double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[size_t(p * double(values.size() - 1) + 0.5)];
}

// Writes all of the bytes, however the descriptor splits them.
inline void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) continue;
        data += n;
        size -= size_t(n);
    }
}
