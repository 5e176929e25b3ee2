// The command line's own texts (UTF-8): what the windows say with their
// layout, the console says with these. The session's and the jobs' messages
// come from their own texts, converted.
#pragma once

#include <string>

namespace cardpush::cli_texts {

inline const std::string kNoController = "Рольганг не найден ни на одном порту. Порты:";
inline const std::string kNoPorts = " нет ни одного последовательного порта.";
inline const std::string kCardCommandsAllowed =
    "Прошивка разрешает команды карты памяти: загрузку, удаление, список.";
inline const std::string kWatching = "Папка ";
inline const std::string kWatchingEnd =
    ": файлы заданий загружаются на карту памяти, как только появятся или изменятся. "
    "Остановить: Ctrl+C.";

// An operation done (a line of the journal that says "ok"): followed by the
// card name and the file, or by the file of a local delete.
inline const std::string kUploaded = "Загружен на карту памяти: ";
inline const std::string kDeletedFromCard = "Удалён с карты памяти: ";
inline const std::string kDeletedFromComputer = "Удалён с компьютера: ";

// The information window's labels, before each value of "info".
inline const std::string kLabelPort = "COM порт: ";
inline const std::string kLabelSerialNumber = "Серийный номер: ";
inline const std::string kLabelMinimum = "Минимум: ";
inline const std::string kLabelMaximum = "Максимум: ";
inline const std::string kLabelAccuracy = "Точность: ";
inline const std::string kLabelFirmware = "Версия прошивки: ";
inline const std::string kLabelMode = "Режим: ";

}  // namespace cardpush::cli_texts
