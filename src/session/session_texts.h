// The session's own texts, in Windows-1251: the captions and messages that
// every face shows alike. Captions of controls live with the faces' layouts.
#pragma once

#include "platform/cp1251.h"

namespace cardpush::session_texts {

// The main window's caption; the link puts it back after a status text.
inline constexpr Cp1251Literal kMainCaption{"Загрузка на карту  памяти рольганга"};
// The firmware gate's refusal, in the main window's caption; a card command
// asked for all the same is refused with it.
inline constexpr Cp1251Literal kFirmwareRefused{
    "Рольганг подключен, но версия прошивки не поддерживает загрузку"};
inline constexpr Cp1251Literal kFolderDialogTitle{"Выбор каталога файлов для конвертации"};

// The progress of a long command: "Файл " name ": строк " n " из " m ", байт "
// n " из " m ", осталось около " seconds " с"; while a job file is read and
// checked, "Файл " name ": проверка"; while the card's listing is awaited.
inline constexpr Cp1251Literal kProgressFile{"Файл "};
inline constexpr Cp1251Literal kProgressLines{": строк "};
inline constexpr Cp1251Literal kProgressOf{" из "};
inline constexpr Cp1251Literal kProgressBytes{", байт "};
inline constexpr Cp1251Literal kProgressLeft{", осталось около "};
inline constexpr Cp1251Literal kProgressSeconds{" с"};
inline constexpr Cp1251Literal kProgressChecking{": проверка"};
inline constexpr Cp1251Literal kProgressListing{"Ожидание списка файлов карты памяти"};
inline constexpr Cp1251Literal kProgressTitle{"Загрузка на карту"};
// Ends an upload after the file being sent.
inline constexpr Cp1251Literal kProgressStop{"Остановить"};

// The transfer journal can't be written now: followed by its path.
inline constexpr Cp1251Literal kJournalUnwritable{
    "Журнал операций сейчас не записывается (файл открыт другой программой?). Строки "
    "журнала сохраняются в памяти и будут дописаны, когда файл освободится: "};
// The settings file: one that is there but can't be read is left alone
// (the file layer's message stands between the two parts); a folder whose
// path the file's code page can't hold is used but not kept.
inline constexpr Cp1251Literal kSettingsUnreadable{"Не удалось прочитать настройки: "};
inline constexpr Cp1251Literal kSettingsUnreadableEnd{
    ". Программа работает с настройками по умолчанию и не запишет их поверх этого файла."};
inline constexpr Cp1251Literal kFolderNotKept{
    "Папка используется, но не будет сохранена в настройках: в её пути есть знаки, которых "
    "нет в кодировке Windows-1251. В настройках остаётся прежняя папка."};
// Where the settings are kept, when it is not beside the executable:
// followed by the path.
inline constexpr Cp1251Literal kSettingsPlace{"Настройки: "};

// The command line named a card file that the card's listing lacks:
// followed by the name.
inline constexpr Cp1251Literal kNotOnCard{"На карте памяти нет файла "};

// The information window's port table: the port, then what its latest
// attempt came to.
inline constexpr Cp1251Literal kRowSeparator{": "};
inline constexpr Cp1251Literal kOutcomeAnswered{"рольганг ответил"};
inline constexpr Cp1251Literal kOutcomeController{"рольганг "};
inline constexpr Cp1251Literal kOutcomeConnected{", подключён"};
inline constexpr Cp1251Literal kOutcomeNoAccess{"нет доступа"};
inline constexpr Cp1251Literal kOutcomeNoAccessGroup{
    "нет доступа: пользователь не входит в группу "};
inline constexpr Cp1251Literal kOutcomeHeld{"занят другой программой"};
inline constexpr Cp1251Literal kOutcomeSilent{"открыт, но не отвечает"};
inline constexpr Cp1251Literal kOutcomeNotConfigured{"не удалось настроить порт"};
inline constexpr Cp1251Literal kOutcomeNotSerial{"не последовательный порт, не открывался"};
inline constexpr Cp1251Literal kOutcomeMissing{"нет такого порта"};
// A pass of the search found no controller and at least one port refused
// this user: said once per run. The port and the group follow the first
// part; the second and the group again the group's.
inline constexpr Cp1251Literal kNoAccessMessage{"Рольганг не найден. Нет доступа к порту "};
inline constexpr Cp1251Literal kNoAccessGroup{": открывать его могут только члены группы "};
inline constexpr Cp1251Literal kNoAccessWhatToDo{
    ". Попросите администратора добавить вас в эту группу (sudo usermod -aG "};
inline constexpr Cp1251Literal kNoAccessWhatToDoEnd{
    " имя_пользователя), затем выйдите из системы и войдите снова."};
inline constexpr Cp1251Literal kNoAccessNoGroup{
    ": права на устройство не позволяют его открыть. Попросите администратора дать вам "
    "доступ к нему."};
// After a reconnect another controller answers than before: followed by its
// serial number.
inline constexpr Cp1251Literal kOtherController{"Подключён другой рольганг, серийный номер "};
inline constexpr Cp1251Literal kOtherControllerEnd{
    ". Список файлов карты памяти прочитан заново; файлы, загруженные на прежний рольганг, "
    "остались на компьютере."};
// The operator switched to the controller on a port: the link's reason.
inline constexpr Cp1251Literal kSwitchingTo{"переключение на рольганг на порту "};
inline constexpr Cp1251Literal kNoSwitchWhileCommand{
    "Переключиться на другой рольганг можно, когда команда закончится."};

}  // namespace cardpush::session_texts
