#include "link/protocol.h"

namespace cardpush::protocol {

std::string CommandFrame(Command command)
{
    return std::string(1, static_cast<char>(command));
}

std::string TrimName(std::string_view name)
{
    const auto isPadding = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t begin = 0;
    std::size_t end = name.size();
    while (begin < end && isPadding(name[begin])) {
        ++begin;
    }
    while (end > begin && isPadding(name[end - 1])) {
        --end;
    }
    return std::string(name.substr(begin, end - begin));
}

bool IsSafeCardName(std::string_view name)
{
    for (const char c : TrimName(name)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == '<' || c == '>') {
            return false;
        }
    }
    return true;
}

std::string DeleteFrame(std::string_view cardName)
{
    return '/' + TrimName(cardName) + '\\';
}

std::string HeaderFrame(std::string_view cardName, std::uint64_t payloadSize)
{
    return '<' + TrimName(cardName) + '\\' + std::to_string(payloadSize) + '\\';
}

std::string LineFrame(std::string_view line)
{
    std::string frame;
    frame.reserve(line.size() + kLineEndSize);
    frame.append(line);
    frame.append("\r\n");
    return frame;
}

}  // namespace cardpush::protocol
