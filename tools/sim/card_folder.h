#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace cardpush::sim {

// The controller keeps 8-byte names: a longer name is cut to this length when it is stored.
inline constexpr std::size_t kCardNameLength = 8;

// Whether a name may be a card file in the folder: 1 to 8 printable ASCII bytes, no blank, no
// path separator, not starting with a dot (the folder's own temporary files do).
bool IsCardName(std::string_view name);

// The memory card: one plain file per card file in a folder of the host.
// Single-threaded; every call works on the folder as it is at that moment, so files that a
// test or an operator puts there by hand are listed as well.
class CardFolder {
public:
    explicit CardFolder(std::filesystem::path dir);

    const std::filesystem::path& Dir() const { return dir_; }

    // The card names in the folder in byte order. Files whose names are not card names are left
    // out.
    std::vector<std::string> List() const;

    // Removes the card file; false when there is none of that name. Throws std::system_error
    // when the folder refuses.
    bool Remove(std::string_view name);

    // Stores (or replaces) a card file. It appears whole or not at all. Throws
    // std::system_error when the folder refuses.
    void Store(std::string_view name, std::string_view content);

private:
    std::filesystem::path dir_;
};

}  // namespace cardpush::sim
