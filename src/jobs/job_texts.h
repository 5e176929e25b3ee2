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

// Logged instead of the lines of a job file that validation rejected.
inline constexpr Cp1251Literal kRejectedLog{"false"};

// After the first boxes of one job file's faults, the rest are counted:
// followed by their number.
inline constexpr Cp1251Literal kMoreMessages{"Ошибок в файле больше, не показано: "};

}  // namespace cardpush::job_texts
