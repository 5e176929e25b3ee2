#include "win32/wine_setup.h"

#include <cstdlib>
#include <sstream>

namespace cardpush::test {
namespace {

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> Words(const char* name)
{
    std::istringstream text(Variable(name));
    std::vector<std::string> words;
    for (std::string word; text >> word;) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

std::string SimulatorPort()
{
    return Variable("CARDPUSH_SIM_PORT");
}

std::vector<std::string> ListedPorts()
{
    return Words("CARDPUSH_LISTED_PORTS");
}

std::vector<std::string> SimulatorCards()
{
    return Words("CARDPUSH_SIM_CARDS");
}

bool ModemLinesOnPseudoTerminals()
{
    return Variable("CARDPUSH_MODEM_LINES") == "1";
}

std::string WineSimulatorLine::Why() const
{
    if (SimulatorPort().empty()) {
        return "no COM port leads to the controller simulator: scripts/test-windows.sh sets one "
               "up";
    }
    if (!ModemLinesOnPseudoTerminals()) {
        return "Wine cannot wait for events on a pseudo-terminal, nor set or read its modem "
               "lines, without the modem-line stand-in that scripts/test-windows.sh preloads";
    }
    return {};
}

}  // namespace cardpush::test
