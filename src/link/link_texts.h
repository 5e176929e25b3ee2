// The controller link's own texts, in Windows-1251 as the core keeps them.
#pragma once

#include "platform/cp1251.h"

namespace cardpush::link_texts {

// A conversion error names the text it could not read between the quotes.
inline constexpr Cp1251Literal kNotAnIntegerBefore{"'"};
inline constexpr Cp1251Literal kNotAnIntegerAfter{"' не является целым числом"};
inline constexpr Cp1251Literal kNotANumberBefore{"'"};
inline constexpr Cp1251Literal kNotANumberAfter{"' не является числом"};

// Written to the protocol log before the bytes of every receive event.
inline constexpr Cp1251Literal kReceiveLogPrefix{"-------------  "};

// The main window's caption while the port search runs, and when the link
// thread has given up; the reason follows the latter.
inline constexpr Cp1251Literal kConnecting{"Подключение к рольгангу..."};
inline constexpr Cp1251Literal kLinkFailed{"Нет связи с рольгангом: "};
// A port of the search that this user may not open, and the group the user
// would have to be in; the log gives it after the attempt's line and the
// caption after the "connecting" text: "Нет доступа к порту ttyUSB0:
// пользователь не входит в группу dialout".
inline constexpr Cp1251Literal kNoAccessToPort{"Нет доступа к порту "};
inline constexpr Cp1251Literal kNotInGroup{": пользователь не входит в группу "};
// The reason given when the port's event thread ended through an error that
// carried no text of its own.
inline constexpr Cp1251Literal kReceptionEnded{"приём данных прекращён"};
// Two listing requests in a row have brought nothing.
inline constexpr Cp1251Literal kControllerSilent{"рольганг не отвечает"};
// A command of the handshake has had no answer for the handshake's reply
// time: followed by the command's letter.
inline constexpr Cp1251Literal kNoAnswerTo{"рольганг не ответил на команду "};

// Why a card command sent nothing to the controller.
inline constexpr Cp1251Literal kNotIdentified{"Команда не выполнена: рольганг ещё не опознан"};
inline constexpr Cp1251Literal kListingUnderWay{
    "Команда не выполнена: список файлов карты памяти ещё не получен"};
inline constexpr Cp1251Literal kListingIncomplete{
    "Команда не выполнена: список файлов карты памяти пришёл не полностью. Он запрошен "
    "заново; повторите команду, когда список обновится"};
// A card command's connection went (the link was lost, or another
// controller answered after a loss) while it ran.
inline constexpr Cp1251Literal kConnectionChanged{
    "Связь с рольгангом потеряна во время команды: команда остановлена, больше ничего не "
    "отправлено, файлы на компьютере не удалены"};

}  // namespace cardpush::link_texts
