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

}  // namespace cardpush::texts
