// The Linux half of the Windows executable's black-box test
// (tests/win32/face/blackbox.sh): the same operator's steps through the Qt
// windows against the controller simulator, with what the controller
// received and what its card holds written out, so that the script can
// compare them byte for byte with the Windows executable's run under Wine.
//
// Not a CTest test: the script runs it with CARDPUSH_PARITY_DIR naming a
// folder that holds the input, the same the Windows run gets:
//   jobs/         the job files of the source folder
//   card/         the card's files before the tool starts
//   delete-card   the card name that the second step deletes
// and receives in its linux/ sub-folder:
//   wire.log      every byte the simulator received, handshake included
//   card/         the card's files at the end
//   messages.txt  the message boxes' texts, UTF-8, one a line
//
// The steps: upload all with "delete after upload" and "empty the card
// first" both checked; then the card file delete-card selected and deleted
// with the card list's "Удалить"; then the window closed.

#include <gtest/gtest.h>

#include <QListWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/tool_fixture.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

std::vector<fs::path> FilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << path;
}

class FaceParity : public ToolTest {};

TEST_F(FaceParity, UploadAllThenDeleteOneCardFile)
{
    const char* dir = std::getenv("CARDPUSH_PARITY_DIR");
    ASSERT_NE(nullptr, dir)
        << "run by tests/win32/face/blackbox.sh, which sets CARDPUSH_PARITY_DIR";
    const fs::path in = dir;
    const fs::path out = in / "linux";
    fs::remove_all(out);
    fs::create_directories(out / "card");

    ToolSetup setup{.deleteAfterUpload = true, .deleteBeforeUpload = true};
    for (const fs::path& file : FilesIn(in / "card")) {
        setup.cardFiles.push_back({file.filename().string(), ReadBytes(file)});
    }
    // The job folder is filled in name order, as the script fills its own.
    fs::create_directories(jobsDir_);
    for (const fs::path& file : FilesIn(in / "jobs")) {
        ASSERT_NO_FATAL_FAILURE(WriteBytes(jobsDir_ / file.filename(), ReadBytes(file)));
    }
    std::string toDelete = ReadBytes(in / "delete-card");
    toDelete.erase(toDelete.find_last_not_of("\r\n") + 1);

    ASSERT_NO_FATAL_FAILURE(Start(setup));
    RunCommand([&] { form_->Button1Click(); });
    EXPECT_TRUE(Items(Control<QListWidget>(form_, "ListBox1")).empty());
    ASSERT_TRUE(SelectCardName(Listed(toDelete))) << toDelete << " is not listed";
    RunCommand([&] { form_->N2Click(); });
    CloseWindow();

    ASSERT_NO_FATAL_FAILURE(WriteBytes(out / "wire.log", sim_->WireLog()));
    for (const fs::path& file : FilesIn(sim_->CardDir())) {
        fs::copy_file(file, out / "card" / file.filename());
    }
    std::string messages;
    for (const std::string& text : messages_) {
        messages += text + "\n";
    }
    ASSERT_NO_FATAL_FAILURE(WriteBytes(out / "messages.txt", messages));
}

}  // namespace
}  // namespace cardpush::test
