// The failures of the file layer and their messages, shared by the POSIX and
// the Windows implementation. Private to files_*.cpp.
#pragma once

#include <string>

#include "platform/cp1251.h"
#include "platform/files.h"

namespace cardpush::platform::files_detail {

enum class FileFailure { Open, Read, Create, Write, Replace, TooLarge };

// Each message is followed by the path of the file concerned.
inline std::string FileFailureText(FileFailure failure)
{
    static constexpr Cp1251Literal kOpen{"Не удалось открыть файл "};
    static constexpr Cp1251Literal kRead{"Ошибка чтения файла "};
    static constexpr Cp1251Literal kCreate{"Не удалось создать файл "};
    static constexpr Cp1251Literal kWrite{"Ошибка записи файла "};
    static constexpr Cp1251Literal kReplace{"Не удалось заменить файл "};
    static constexpr Cp1251Literal kTooLarge{"Файл слишком большой: "};
    switch (failure) {
        case FileFailure::Open:
            return kOpen;
        case FileFailure::Read:
            return kRead;
        case FileFailure::Create:
            return kCreate;
        case FileFailure::Write:
            return kWrite;
        case FileFailure::Replace:
            return kReplace;
        case FileFailure::TooLarge:
            return kTooLarge;
    }
    return kOpen;
}

[[noreturn]] inline void Fail(FileFailure failure, const std::string& path)
{
    if (failure == FileFailure::TooLarge) {
        throw EFileTooLarge(FileFailureText(failure) + path);
    }
    throw EFileError(FileFailureText(failure) + path);
}

}  // namespace cardpush::platform::files_detail
