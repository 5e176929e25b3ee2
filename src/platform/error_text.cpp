#include "platform/error_text.h"

#include <stdexcept>

#include "platform/cp1251.h"

namespace cardpush::platform {

std::string ErrorText(const std::exception_ptr& error)
{
    static constexpr Cp1251Literal kUnknownError{"Неизвестная ошибка"};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return kUnknownError.str();
    }
}

}  // namespace cardpush::platform
