// The buffered byte layer at its 512-byte boundaries, push-back, writing and failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/io.h"
#include "test_support.h"

namespace {

std::string Pattern(size_t n)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++)
        s[i] = (char)(i * 7 + 3);
    return s;
}

unsigned char Buffer[IO_BUFFER_SIZE];

// Writes bytes to a fresh file and opens it for reading; returns its path.
std::string OpenRead(const std::string &bytes)
{
    std::string path = WriteFile(MakeTempDir(), "P.NAV", bytes);
    EXPECT_EQ(IoOpen(path.c_str(), IO_GENERIC_READ, Buffer), 1);
    return path;
}

TEST(IoRead, EveryByteAcrossSeveralFillsThenEndOfFile)
{
    for (size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 1537u, IO_READ_AHEAD - 1, IO_READ_AHEAD,
                        2 * IO_READ_AHEAD + 513}) {
        std::string bytes = Pattern(size);
        OpenRead(bytes);
        EXPECT_EQ(IoFileSize(), size);
        std::string got;
        for (int c; (c = IoXGetB()) >= 0;)
            got.push_back((char)c);
        EXPECT_EQ(got, bytes) << size;
        EXPECT_EQ(IoXGetB(), -1) << "the end of file repeats";
        EXPECT_EQ(IoClose(), 1);
    }
    EXPECT_TRUE(Messages.empty());
}

TEST(IoRead, PushBackWorksOnlyWithinTheCurrentFillAndRewindStartsOver)
{
    std::string bytes = Pattern(600);
    std::string path = OpenRead(bytes);

    // Nothing of the (still empty) fill has been taken yet.
    EXPECT_EQ(IoUngetB(), 0);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error: IoUngetB(" + path + ")"});
    ClearMessages();

    for (int i = 0; i < 512; i++)
        ASSERT_EQ(IoXGetB(), (unsigned char)bytes[i]);
    // The last byte of a full fill can be pushed back.
    EXPECT_EQ(IoUngetB(), 1);
    EXPECT_EQ(IoXGetB(), (unsigned char)bytes[511]);
    // The first byte of the next fill: position 1 becomes 0.
    EXPECT_EQ(IoXGetB(), (unsigned char)bytes[512]);
    EXPECT_EQ(IoUngetB(), 1);
    EXPECT_EQ(IoXGetB(), (unsigned char)bytes[512]);
    EXPECT_TRUE(Messages.empty());

    // At the end of the file the fill is empty again.
    while (IoXGetB() >= 0) {
    }
    EXPECT_EQ(IoUngetB(), 0);
    EXPECT_EQ(Messages.size(), 1u);

    IoRewind();
    EXPECT_EQ(IoXGetB(), (unsigned char)bytes[0]);
    EXPECT_EQ(IoXGetB(), (unsigned char)bytes[1]);
    IoClose();
}

TEST(IoOpenFailures, MissingFileIsSilentOtherFailuresAreReported)
{
    std::string dir = MakeTempDir();
    EXPECT_EQ(IoOpen((dir + "/NONE.NAV").c_str(), IO_GENERIC_READ, Buffer), 0);
    EXPECT_TRUE(Messages.empty());

    // A directory cannot be read as a file.
    EXPECT_EQ(IoOpen(dir.c_str(), IO_GENERIC_READ, Buffer), 0);
    // A Win32 error, by its code.
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind("Error: Can't open " + dir + ", GetLastError=0x", 0), 0u);

    // Writing into a directory that does not exist is a failure worth telling.
    ClearMessages();
    std::string nowhere = dir + "/no/such/opt";
    EXPECT_EQ(IoOpen(nowhere.c_str(), IO_GENERIC_WRITE, Buffer), 0);
    ASSERT_EQ(Messages.size(), 1u);
    const std::string opening = "Error: Can't open " + nowhere + ", GetLastError=0x00000002\n";
    EXPECT_EQ(Messages[0].text.rfind(opening, 0), 0u);
}

// What is written reaches the file whole: the opt cache the analysis integration test
// loads again. A full buffer goes out when the next byte comes, here where it fails.
TEST(IoWrite, AFailedWriteIsReportedAndTheBufferStillEmptied)
{
    ASSERT_EQ(IoOpen("/dev/full", IO_GENERIC_WRITE, Buffer), 1);
    for (int i = 0; i < 512; i++)
        IoXPutB('x');
    EXPECT_EQ(IoXPutB('y'), 0);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind("Error: WriteFile(/dev/full)=FALSE, GetLastError=0x", 0), 0u);
    // The 512 bytes are gone; 'y' alone waits in the buffer.
    ClearMessages();
    EXPECT_EQ(IoFlush(), 0);
    EXPECT_EQ(Messages.size(), 1u);
    ClearMessages();
    EXPECT_EQ(IoFlush(), 1);
    EXPECT_TRUE(Messages.empty());
    IoClose();
}

}  // namespace
