// The operator messages of job files and card names, in Windows-1251.
// A message that names a value has it appended directly after the literal.
#pragma once

#include "platform/cp1251.h"

namespace cardpush::job_texts {

// Followed by the line's size field.
inline constexpr Cp1251Literal kBadSizeCharacters{
    "Ошибка в файле: Неправильный размер, недопустимые символы - "};
inline constexpr Cp1251Literal kSeveralDecimalPoints{
    "Ошибка в файле: Встретилась десятичная точка в размере более одного раза - "};

// "Имя файла " base " изменено на " card.
inline constexpr Cp1251Literal kNameChangedBefore{"Имя файла "};
inline constexpr Cp1251Literal kNameChangedBetween{" изменено на "};

// A job file with a CR that no LF follows: "Ошибка в файле " file ": строка "
// number " оканчивается знаком CR без LF - " the line's start.
inline constexpr Cp1251Literal kLoneCr{"Ошибка в файле "};
inline constexpr Cp1251Literal kLoneCrLine{": строка "};
inline constexpr Cp1251Literal kLoneCrEnd{" оканчивается знаком CR без LF - "};

// Logged instead of the lines of a job file that validation rejected.
inline constexpr Cp1251Literal kRejectedLog{"false"};

// After the first boxes of one job file's faults, the rest are counted:
// followed by their number.
inline constexpr Cp1251Literal kMoreMessages{"Ошибок в файле больше, не показано: "};

// A job file that is not sent, and why. Each is followed by the file's name;
// the card-name clash then by " (" the card name ", " the file that has it ")".
inline constexpr Cp1251Literal kNoCardName{
    "Файл не загружен: из его имени не получается имя на карте памяти - "};
inline constexpr Cp1251Literal kCardNameTaken{
    "Файл не загружен: его имя на карте памяти уже занято другим файлом - "};
// Followed by the file's name, then kTooLargeSize, its size, kTooLargeLimit,
// the largest size and kTooLargeEnd.
inline constexpr Cp1251Literal kTooLarge{"Файл не загружен: он слишком большой для задания - "};
inline constexpr Cp1251Literal kTooLargeSize{" ("};
inline constexpr Cp1251Literal kTooLargeLimit{" байт, наибольший размер "};
inline constexpr Cp1251Literal kTooLargeEnd{" байт)"};
inline constexpr Cp1251Literal kChangedBeforeSending{
    "Файл не загружен: он изменился после проверки - "};

// Upload all with the card to be emptied first, when no job file is ready.
inline constexpr Cp1251Literal kNothingToUpload{
    "Нет файлов для загрузки: файлы на карте памяти не удалены"};

// A listed card name that can't go back to the controller; followed by the
// names, each as listed with control bytes written as \xNN.
inline constexpr Cp1251Literal kUnsafeCardNames{
    "Имя файла на карте памяти содержит недопустимые символы, команда не отправлена: "};

// After upload all with its delete option: job files kept on the PC, each
// followed by the names, separated by ", ".
inline constexpr Cp1251Literal kNotConfirmed{
    "Рольганг не подтвердил приём файлов, они оставлены на компьютере: "};
inline constexpr Cp1251Literal kChangedKept{
    "Файлы изменились после загрузки и оставлены на компьютере: "};

// A message that lists names shows kNamesListed of them, then this and how
// many more there are.
inline constexpr Cp1251Literal kAndMore{" и ещё "};

// A job file that was checked but could not be read again to be sent:
// followed by its name, ": " and why.
inline constexpr Cp1251Literal kUnreadableBeforeSending{
    "Файл не загружен: его не удалось прочитать после проверки - "};

// Card deletes that the listing after them does not show done: followed by
// the names. After upload all's deletes, nothing is sent then.
inline constexpr Cp1251Literal kCardFilesNotDeleted{"Рольганг не удалил файлы с карты памяти: "};
inline constexpr Cp1251Literal kCardKeptFiles{
    "Рольганг не удалил файлы с карты памяти (карта заполнена или защищена от записи?), "
    "поэтому файлы не загружены: "};
inline constexpr Cp1251Literal kNoListingAfterDeletes{
    "Рольганг не прислал список файлов карты памяти после удаления: файлы не загружены"};
// Job files kept because their card name was on the card before the upload:
// followed by their names.
inline constexpr Cp1251Literal kWasListedKept{
    "Файлы загружены, но оставлены на компьютере: на карте памяти уже был файл с таким "
    "именем, и список файлов не может подтвердить приём: "};

// The transfer journal's results of operations that were not done.
inline constexpr Cp1251Literal kStopped{"Файл не загружен: загрузка остановлена"};
inline constexpr Cp1251Literal kKeptNotConfirmed{
    "Файл оставлен на компьютере: рольганг не подтвердил приём"};
inline constexpr Cp1251Literal kKeptChanged{
    "Файл оставлен на компьютере: он изменился после загрузки"};
inline constexpr Cp1251Literal kNotRemoved{"Не удалось удалить файл"};
inline constexpr Cp1251Literal kKeptWasListed{
    "Файл оставлен на компьютере: на карте памяти уже был файл с таким именем"};
inline constexpr Cp1251Literal kCardNotEmptied{
    "Файл не загружен: файлы на карте памяти не удалены"};
// A frame written whose outcome no listing has shown; and what a listing
// shows of a frame that did not do its work.
inline constexpr Cp1251Literal kSent{"sent"};
inline constexpr Cp1251Literal kNotOnCard{"Файла нет в списке карты памяти после загрузки"};
inline constexpr Cp1251Literal kNotDeleted{"Файл остался в списке карты памяти"};

}  // namespace cardpush::job_texts
