#pragma once

#include "platform/Errors.h"

// A serial port that could not be opened.
class SerialPortError : public TavolenError {
public:
    using TavolenError::TavolenError;
};
