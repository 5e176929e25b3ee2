#include "serial/ComErrors.h"

#include "platform/cp1251.h"

namespace cardpush {
namespace {

constexpr Cp1251Literal kPortMissing{"Попытка открыть несуществующий COM-порт"};
constexpr Cp1251Literal kPortBusy{"Порт занят другой программой"};
constexpr Cp1251Literal kWrite{"Ошибка записи в порт"};
constexpr Cp1251Literal kRead{"Ошибка чтения из порта"};
constexpr Cp1251Literal kNoOperation{"Недопустимый параметр Async"};
constexpr Cp1251Literal kPurgeComm{"Ошибка функции PurgeComm"};
constexpr Cp1251Literal kSetCommState{"Ошибка функции SetCommState"};
constexpr Cp1251Literal kSetCommTimeouts{"Ошибка функции SetCommTimeouts"};
constexpr Cp1251Literal kSetupComm{"Ошибка функции SetupComm"};
constexpr Cp1251Literal kClearCommError{"Ошибка функции ClearCommError"};
constexpr Cp1251Literal kGetCommModemStatus{"Ошибка функции GetCommModemStatus"};
constexpr Cp1251Literal kEscapeCommFunction{"Ошибка функции EscapeCommFunction"};
constexpr Cp1251Literal kPropertyWhileOpen{"Нельзя менять свойство, пока порт открыт"};
constexpr Cp1251Literal kRegistry{"Ошибка обращения к системному реестру"};
constexpr Cp1251Literal kPortClosed{"Порт не открыт"};

}  // namespace

std::string_view ComFaultText(ComFault fault)
{
    switch (fault) {
        case ComFault::PortMissing:
            return kPortMissing;
        case ComFault::PortBusy:
            return kPortBusy;
        case ComFault::Write:
            return kWrite;
        case ComFault::Read:
            return kRead;
        case ComFault::NoOperation:
            return kNoOperation;
        case ComFault::PurgeComm:
            return kPurgeComm;
        case ComFault::SetCommState:
            return kSetCommState;
        case ComFault::SetCommTimeouts:
            return kSetCommTimeouts;
        case ComFault::SetupComm:
            return kSetupComm;
        case ComFault::ClearCommError:
            return kClearCommError;
        case ComFault::GetCommModemStatus:
            return kGetCommModemStatus;
        case ComFault::EscapeCommFunction:
            return kEscapeCommFunction;
        case ComFault::PropertyWhileOpen:
            return kPropertyWhileOpen;
        case ComFault::Registry:
            return kRegistry;
        case ComFault::PortClosed:
            return kPortClosed;
    }
    return kPortClosed;
}

void RaiseComFault(ComFault fault)
{
    throw EComPort(fault);
}

}  // namespace cardpush
