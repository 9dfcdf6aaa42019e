// The update session's reader of the control connection (FtpGetByte, FtpGetLine,
// FtpGetReply) over a connected socket pair: the input is everything the server sends
// before it closes the connection. The lines must come back as a plain split at LF gives
// them (a CR before the LF removed, at most 511 bytes kept, a longer line reported once),
// and the replies must be exactly the lines that read as three digits and a blank, each
// within the reader's bound of lines.
//
// The reader is private to the session's source, which is compiled into this target
// whole; the core library's copy of it is then never linked in.
#include "update/ftp.cpp"

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_support.h"

struct ReferenceLine {
    std::string text;
    int tooLong;
};

static std::vector<ReferenceLine> SplitLines(const std::string &input)
{
    std::vector<ReferenceLine> lines;
    for (size_t at = 0; at < input.size();) {
        size_t lf = input.find('\n', at);
        std::string text = input.substr(at, lf == std::string::npos ? lf : lf - at);
        if (lf != std::string::npos && !text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back({text.substr(0, FTP_BUFFER_SIZE - 1), text.size() > FTP_BUFFER_SIZE - 1});
        at = lf == std::string::npos ? input.size() : lf + 1;
    }
    return lines;
}

static int IsLastReplyLine(const std::string &text)
{
    return text.size() >= 4 && isdigit((unsigned char)text[0]) &&
           isdigit((unsigned char)text[1]) && isdigit((unsigned char)text[2]) && text[3] == ' ';
}

static int Equals(const char *line, const std::string &text)
{
    return memcmp(line, text.data(), text.size()) == 0 && line[text.size()] == 0;
}

// A fresh control connection whose server has sent the input and closed its end.
static void Connect(const uint8_t *data, size_t size)
{
    int pair[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    FUZZ_CHECK(write(pair[1], data, size) == (ssize_t)size);
    close(pair[1]);
    ControlSocket = pair[0];
    ControlClosed = ControlTimedOut = ReplyTooLong = ReplyPending = 0;
    ReceiveCount = ReceiveAt = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Small enough to lie in the socket's buffer whole before the reader starts.
    if (size > 32768)
        return 0;
    FuzzBegin();
    std::vector<ReferenceLine> lines = SplitLines(std::string((const char *)data, size));

    Connect(data, size);
    char line[FTP_BUFFER_SIZE];
    uint32_t tooLong = 0;
    size_t n = 0;
    FuzzWatchedText = "Update: response too long";
    for (; FtpGetLine(line); n++) {
        FUZZ_CHECK(n < lines.size() && Equals(line, lines[n].text));
        tooLong += lines[n].tooLong;
    }
    FUZZ_CHECK(n == lines.size() && FuzzWatchedCount == tooLong);
    FUZZ_CHECK(FtpGetByte() < 0);
    PlatSocketClose(ControlSocket);

    // A reply is its lines up to the first that reads as three digits and a blank, at most
    // FTP_REPLY_LINES of them; a longer one, or the end before its last line, ends the
    // reading.
    Connect(data, size);
    n = 0;
    for (;;) {
        size_t first = n;
        while (n < lines.size() && !IsLastReplyLine(lines[n].text))
            n++;
        int complete = n < lines.size() && n - first < FTP_REPLY_LINES;
        int got = FtpGetReply();
        FUZZ_CHECK(got == complete);
        if (!got) {
            FUZZ_CHECK(ReplyTooLong == (n - first >= FTP_REPLY_LINES));
            break;
        }
        FUZZ_CHECK(Equals(ReplyLine, lines[n].text));
        n++;
    }
    PlatSocketClose(ControlSocket);
    ControlSocket = PLAT_NO_SOCKET;
    return 0;
}
