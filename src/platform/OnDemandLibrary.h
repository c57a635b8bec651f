#pragma once

// A C library that the program calls through functions of its own of the same names, so that
// it is loaded by the first call rather than at every start-up (see LibPqOnDemand.cpp and
// XlsxOnDemand.cpp for why).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class OnDemandLibrary {
public:
    explicit OnDemandLibrary(const char* soname) : soname_(soname) {
        handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* why = dlerror();
            error_ = std::string(soname) + " cannot be loaded: " + (why ? why : "unknown reason");
        }
    }
    OnDemandLibrary(const OnDemandLibrary&) = delete;
    OnDemandLibrary& operator=(const OnDemandLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the library is not loaded; empty when it is.
    const std::string& error() const { return error_; }

    // The library's function of that name. Only called once loaded() holds; a library without
    // one of the functions this program was built against is not one it can use.
    template <typename Function>
    Function resolve(const char* name) const {
        void* address = dlsym(handle_, name);
        if (!address) {
            std::fprintf(stderr, "tavolen: %s has no %s\n", soname_, name);
            std::abort();
        }
        return reinterpret_cast<Function>(address);
    }

private:
    const char* soname_;
    void* handle_ = nullptr;
    std::string error_;
};

// Inside a function of the same name: the library's own function, looked up once.
#define ON_DEMAND(library, name)                                                  \
    ([] {                                                                         \
        static const auto function = (library).resolve<decltype(&::name)>(#name); \
        return function;                                                          \
    }())
