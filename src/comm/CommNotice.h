#pragma once

#include <QByteArray>
#include <functional>

// What the port's worker threads tell the port's owner. Each notice travels to the
// owner's thread; a Data notice carries a received block or a line-error report.
enum class CommNotice { Data, Hangup, ReaderReady, WriterReady };

using CommPoster = std::function<void(CommNotice notice, QByteArray block)>;
