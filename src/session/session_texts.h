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

}  // namespace cardpush::session_texts
