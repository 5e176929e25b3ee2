// The operator's text of an error that ended something: the one place that
// turns an exception into words.
#pragma once

#include <exception>
#include <string>

namespace cardpush::platform {

// The exception's message (the tool's exceptions carry Windows-1251 text),
// or "Неизвестная ошибка" for one that carries none.
std::string ErrorText(const std::exception_ptr& error);

}  // namespace cardpush::platform
