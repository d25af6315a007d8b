#include "TestFolder.h"

#include "platform/Terminal.h"

#include <gtest/gtest.h>

using platform::Error;
using platform::File;

namespace {

TEST(PlatformTerminal, APlainFileIsLeftAsItIs)
{
    TestFolder folder;
    const std::string path = folder.path("capture.bin");
    ASSERT_TRUE(writeFile(path, "\r\n"));
    File file = File::open(path, File::Access::Read, nullptr);
    EXPECT_FALSE(file.isTerminal());
    EXPECT_FALSE(platform::makeRaw(file, 2400));
    EXPECT_EQ(readFile(path), "\r\n");
}

#ifdef _WIN32
TEST(PlatformTerminal, NoPseudoTerminalSaysWhatToDoInstead)
{
    platform::PseudoTerminal terminal;
    const Error error = platform::openPseudoTerminal(2400, &terminal);
    EXPECT_EQ(error.kind, Error::Kind::Unavailable);
    EXPECT_NE(error.message.find("--device"), std::string::npos);
}
#else
// Frames hold bytes a terminal would otherwise edit: carriage returns, XON/XOFF, erase and
// end-of-file characters.
TEST(PlatformTerminal, PseudoTerminalPassesEveryByteUntouched)
{
    for (int baud : {2400, 19200}) {
        SCOPED_TRACE(baud);
        platform::PseudoTerminal terminal;
        const Error error = platform::openPseudoTerminal(baud, &terminal);
        ASSERT_FALSE(error) << error.message;
        ASSERT_FALSE(terminal.name.empty());
        File reader = File::open(terminal.name, File::Access::Read, nullptr);
        ASSERT_TRUE(reader.isTerminal());
        ASSERT_FALSE(platform::makeRaw(reader, baud));
        const std::string frame("\r1.234\x11\x13\x7f\x04\x03\n", 12);
        ASSERT_FALSE(terminal.sender.write(frame.data(), frame.size()));
        std::string got;
        char chunk[64];
        while (got.size() < frame.size()) {
            const std::ptrdiff_t n = reader.read(chunk, sizeof chunk, nullptr);
            ASSERT_GT(n, 0);
            got.append(chunk, size_t(n));
        }
        EXPECT_EQ(got, frame);
        // The sending side going away ends the stream for the reader.
        terminal.sender.close();
        // (as the end, or as an input/output error, depending on the kernel).
        Error gone;
        const std::ptrdiff_t n = reader.read(chunk, sizeof chunk, &gone);
        EXPECT_TRUE(n == 0 || (n == -1 && gone.kind == Error::Kind::InputOutput)) << n << " " << gone.message;
    }
    platform::PseudoTerminal odd;
    EXPECT_TRUE(platform::openPseudoTerminal(1234, &odd)); // not silently some other speed
}
#endif

} // namespace
