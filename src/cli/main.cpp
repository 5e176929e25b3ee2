// cardpush-cli: the tool's commands for scripts and watched folders, over the
// same session as the windows. The command line is read here (CLI11); what
// each command does is in commands.cpp.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"

#ifdef _WIN32
#include "platform/wide_text.h"
#else
#include <csignal>
#endif

namespace {

using namespace cardpush;
using cli::Request;

const char* const kExitStatuses =
    "Коды завершения:\n"
    "  0  выполнено\n"
    "  1  ошибка программы (настройки, папка, непредвиденная ошибка)\n"
    "  2  неверная командная строка\n"
    "  3  рольганг не найден ни на одном порту\n"
    "  4  прошивка рольганга не поддерживает команды карты памяти\n"
    "  5  файл не прошёл проверку (или такого файла нет на карте памяти)\n"
    "  6  передача не удалась: ошибка записи, потеря связи, список файлов карты не подтвердил\n"
    "  7  остановлено (Ctrl+C): после файла, который передавался\n"
    "Из нескольких подходящих кодов возвращается наибольший.\n";

// An argument as the system gave it: bytes on POSIX, UTF-8 (from UTF-16)
// on Windows.
std::filesystem::path PathOfArgument(const std::string& argument)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
#else
    return std::filesystem::path(argument);
#endif
}

int Main(int argc, char** argv)
{
    CLI::App app{"Загрузка файлов заданий на карту памяти рольганга с командной строки.",
                 "cardpush-cli"};
    app.option_defaults()->group("Параметры");
    app.set_help_flag("-h,--help", "Справка и выход");
    app.set_version_flag("--version", std::string("cardpush-cli ") + CARDPUSH_VERSION,
                         "Версия программы и выход");
    app.require_subcommand(1);
    // The common options may stand before or after the command.
    app.fallthrough();
    app.footer(kExitStatuses);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string(error.what()) + "\nСправка: cardpush-cli --help\n";
    });
    auto formatter = app.get_formatter();
    for (const auto& [label, text] : {std::pair{"Options", "Параметры"},
                                      {"OPTIONS", "ПАРАМЕТРЫ"},
                                      {"Subcommands", "Команды"},
                                      {"SUBCOMMANDS", "КОМАНДЫ"},
                                      {"SUBCOMMAND", "КОМАНДА"},
                                      {"Positionals", "Аргументы"},
                                      {"POSITIONALS", "АРГУМЕНТЫ"},
                                      {"Usage", "Запуск"},
                                      {"REQUIRED", "обязательно"}}) {
        formatter->label(label, text);
    }
    Request request;
    std::string settings;
    bool json = false;
    bool quiet = false;
    app.add_option("--port", request.port,
                   "Искать рольганг только на этом порту (иначе сначала сохранённый порт, "
                   "затем все порты)")
        ->type_name("PORT");
    app.add_option("--settings", settings, "Файл настроек (иначе nastr.dat, как у окон программы)")
        ->type_name("FILE");
    app.add_flag("--json", json, "Выводить по одному объекту JSON в строке");
    app.add_flag("--quiet", quiet, "Без строк состояния и хода передачи");

    std::vector<std::string> paths;
    CLI::App* ports = app.add_subcommand(
        "ports",
        "Опросить все последовательные порты: что ответил каждый, серийный номер рольганга");
    CLI::App* info =
        app.add_subcommand("info", "Данные рольганга и разрешает ли прошивка команды карты памяти");
    CLI::App* list = app.add_subcommand("list", "Файлы на карте памяти, по одному в строке");
    CLI::App* upload = app.add_subcommand(
        "upload", "Загрузить файлы заданий (или все файлы заданий папок) на карту памяти");
    upload->add_flag("--delete-after", request.options.deleteAfterUpload,
                     "Удалить файлы с компьютера, когда список файлов карты покажет их");
    upload->add_flag("--empty-card-first", request.options.emptyCardFirst,
                     "Удалить файлы с карты памяти до загрузки");
    upload->add_option("PATH", paths, "Файлы заданий и папки")->required()->type_name("");
    CLI::App* erase = app.add_subcommand("delete", "Удалить файлы с карты памяти");
    CLI::App* watch = app.add_subcommand(
        "watch",
        "Следить за папкой: каждый новый или изменённый файл задания загружается, когда он "
        "не меняется 1 с; до Ctrl+C. Файлы, которые уже лежат в папке, тоже загружаются.");
    for (CLI::App* command : {ports, info, list, upload, erase, watch}) {
        command->group("Команды");
        command->set_help_flag("-h,--help", "Справка о команде и выход");
    }
    erase->add_option("NAME", request.names, "Имена файлов на карте памяти")->type_name("");
    erase->add_flag("--all", request.all, "Удалить все файлы карты памяти");
    watch->add_flag("--delete-after", request.options.deleteAfterUpload,
                    "Удалить файл с компьютера, когда список файлов карты покажет его");
    watch->add_option("DIR", paths, "Папка с файлами заданий")->required()->type_name("");

    // Help, version and usage errors go out through the console too, so
    // that a Windows console shows their Russian.
    std::ostringstream out;
    std::ostringstream errors;
    try {
        app.parse(argc, argv);
        if (erase->parsed() && request.all == !request.names.empty()) {
            throw CLI::ValidationError("delete", "нужны имена файлов или --all, одно из двух");
        }
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, out, errors);
        cli::Console console(false, false);
        console.Write(false, out.str());
        console.Write(true, errors.str());
        return status == 0 ? cli::kDone : cli::kUsage;
    }
    cli::Console console(json, quiet);

    for (const auto& path : paths) {
        // Whole paths: the journal names the files so.
        std::error_code missing;
        request.paths.push_back(std::filesystem::absolute(PathOfArgument(path), missing));
        if (missing || !std::filesystem::exists(request.paths.back(), missing)) {
            console.Message("Нет такого файла или папки: " + path);
            return cli::kUsage;
        }
    }
    std::error_code notFolder;
    if (watch->parsed() && !std::filesystem::is_directory(request.paths.front(), notFolder)) {
        console.Message("Это не папка: " + paths.front());
        return cli::kUsage;
    }
    request.settings = settings.empty() ? std::filesystem::path() : PathOfArgument(settings);
    using Command = Request::Command;
    request.command = ports->parsed()    ? Command::Ports
                      : info->parsed()   ? Command::Info
                      : list->parsed()   ? Command::List
                      : upload->parsed() ? Command::Upload
                      : erase->parsed()  ? Command::Delete
                                         : Command::Watch;

    const int status = cli::Run(request, console);
    if (json) {
        console.Record({{"type", "exit"}, {"status", status}});
    }
    return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    // The arguments in UTF-8, whatever the console's code page.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8FromWide(argv[i]));
    }
    std::vector<char*> pointers;
    for (auto& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    return Main(argc, pointers.data());
}
#else
int main(int argc, char** argv)
{
    // Output into a pipe whose reader has gone (`| head -1`) fails as a
    // write, instead of ending the process before the port is let go.
    std::signal(SIGPIPE, SIG_IGN);
    return Main(argc, argv);
}
#endif
