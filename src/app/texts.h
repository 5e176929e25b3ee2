// The shell's own texts (Windows-1251). Captions of controls live in the
// window layouts under resources/.
#pragma once

#include "platform/cp1251.h"

namespace cardpush::texts {

// The main window's caption; the link puts it back after a status text.
inline constexpr Cp1251Literal kMainCaption{"Загрузка на карту  памяти рольганга"};
inline constexpr Cp1251Literal kFolderDialogTitle{"Выбор каталога файлов для конвертации"};
// Shown for an exception that carries no message of its own.
inline constexpr Cp1251Literal kUnknownError{"Неизвестная ошибка"};

// The upload's progress window: %1 file, %2 of %3 lines, %4 of %5 bytes,
// %6 seconds left at the line's speed.
inline constexpr Cp1251Literal kUploadProgressTitle{"Загрузка на карту"};
inline constexpr Cp1251Literal kUploadProgressFile{
    "Файл %1: строк %2 из %3, байт %4 из %5, осталось около %6 с"};
// While a job file is read and checked, before it is sent: %1 file.
inline constexpr Cp1251Literal kUploadProgressChecking{"Файл %1: проверка"};
// While the card's listing is awaited before the job files go out.
inline constexpr Cp1251Literal kUploadProgressListing{"Ожидание списка файлов карты памяти"};
// Ends an upload after the file being sent.
inline constexpr Cp1251Literal kUploadProgressStop{"Остановить"};
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
// Where the settings are kept, when it is not beside the executable: %1 path.
inline constexpr Cp1251Literal kSettingsPlace{"Настройки: %1"};
// The firmware gate's refusal, in the main window's caption.
inline constexpr Cp1251Literal kFirmwareRefused{
    "Рольганг подключен, но версия прошивки не поддерживает загрузку"};

}  // namespace cardpush::texts
