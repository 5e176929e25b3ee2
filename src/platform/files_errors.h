// What the POSIX and the Windows files layer share: their failures and
// messages, and how a symbolic link is followed. Private to them.
#pragma once

#include <filesystem>
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

[[noreturn]] inline void Fail(FileFailure failure, const std::filesystem::path& path)
{
    if (failure == FileFailure::TooLarge) {
        throw EFileTooLarge(FileFailureText(failure) + PathText(path));
    }
    throw EFileError(FileFailureText(failure) + PathText(path));
}

// The file that path leads to through its symbolic links, if any: path
// itself when it is no link. A link that leads nowhere still gives the
// place it names, where a file can be made; a loop gives up after as many
// steps as the systems allow.
inline std::filesystem::path LinkTarget(std::filesystem::path path)
{
    constexpr int kMostLinks = 40;
    for (int i = 0; i < kMostLinks; ++i) {
        std::error_code error;
        if (!std::filesystem::is_symlink(path, error)) {
            return path;
        }
        std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            return path;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

}  // namespace cardpush::platform::files_detail
