#!/usr/bin/python3
"""A real FTP server (pyftpdlib) for the update tests, with the odd behaviours of servers
the update session must cope with.

    ftpserver.py --dir DIR --log FILE [--port 0] [--mode MODE]

Serves DIR to the account datakeeper / Owl42Cat on 127.0.0.1:port (port 0: a free one) and
prints "PORT <n>" on standard output once it listens. It ends by itself after LIFETIME
seconds, so a test that loses track of it leaves nothing running. The log gets one line
per connection ("CONNECT") and per command received (the command line as sent, e.g. "USER
datakeeper"). The modes are those of HANDLERS and FILE_SYSTEMS below, each described
there; "normal" is pyftpdlib as it is (its listing puts the group at byte 24, then the
size).
"""

import argparse
import io
import os
import socket
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

ACCOUNT = "datakeeper"
PASSWORD = "Owl42Cat"
LIFETIME = 300

LOG_PATH = None
INTRUDERS = []  # the "foreign" mode's connections, kept open


def log(line):
    with open(LOG_PATH, "a") as f:
        f.write(line + "\n")


class LoggingHandler(FTPHandler):
    use_sendfile = False  # the altered files are in memory

    def on_connect(self):
        log("CONNECT")

    def pre_process_command(self, line, cmd, arg):
        log(line)
        return super().pre_process_command(line, cmd, arg)


def handler(**methods):
    return type("ModeHandler", (LoggingHandler,), methods)


def file_system(**methods):
    return type("ModeFS", (AbstractedFS,), methods)


def listed_size(size_text):
    """Listings that give every file the size size_text, in the long format the session
    reads: the word at byte 24 (the group), then the size."""
    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            yield b"-rw-r--r--   1 owner    group    %8s Dec 06 19:03 %s\r\n" % (
                size_text.encode(), name.encode())
    return file_system(format_list=format_list)


def short_opt_listing(self, basedir, listing, ignore_err=True):
    if listing == ["opt"]:
        return iter([b"-rw-r--r--   1 owner\r\n"])
    return AbstractedFS.format_list(self, basedir, listing, ignore_err)


def altered(alter):
    """Every file's bytes served through alter; listings stay true."""
    def open_file(self, filename, mode):
        if "r" not in mode:
            return AbstractedFS.open(self, filename, mode)
        with open(filename, "rb") as f:
            served = io.BytesIO(alter(f.read()))
        served.name = filename
        return served
    return file_system(open=open_file)


def greeting(lines):
    """A greeting of lines: all but the last as they stand, then the last as the reply."""
    def handle(self):
        self.on_connect()
        for line in lines[:-1]:
            self.push(line + "\r\n")
        self.respond(lines[-1])
    return handle


def drip(sock, pieces, pause):
    """Sends pieces one by one, pause seconds apart, until the client is gone."""
    for piece in pieces:
        try:
            sock.sendall(piece)
        except OSError:
            return
        time.sleep(pause)


def endless_greeting(self):
    self.on_connect()
    self.socket.setblocking(True)
    drip(self.socket, [b"220-still talking\r\n"] * 60, 0.5)


def log_in_without_password(self, line):
    self.username = line
    self.handle_auth_success(self.authorizer.get_home_dir(line), "",
                             "Logged in, no password needed.")


def multiline_type(self, line):
    self._current_type = "i"
    self.push("200-Type set to binary.\r\n")
    self.respond("200 Done.")


def retr(send):
    """A RETR that, over an open data connection, announces the transfer and hands the
    file's bytes and the data socket, made blocking, to send(handler, data, sock)."""
    def ftp_RETR(self, file):
        if self.data_channel is None:
            return self.respond("425 No data connection.")
        with open(file, "rb") as f:
            data = f.read()
        self.respond("150 Sending.")
        self.data_channel.socket.setblocking(True)
        send(self, data, self.data_channel.socket)
    return ftp_RETR


def close_mid(handler, data, sock):
    sock.sendall(data[: len(data) // 2])
    handler.data_channel.close()
    handler.close()


def trickle(handler, data, sock):
    drip(sock, [data[i:i + 1] for i in range(len(data))], 0.25)
    handler.data_channel.close()


def list_announced(close):
    def ftp_LIST(self, path):
        self.respond("150 Here comes the listing.")
        if close:
            self.close_when_done()
    return ftp_LIST


def acknowledge_port(self, line):
    self.respond("200 PORT command successful.")


def foreign_port(self, line):
    numbers = line.split(",")
    intruder = socket.create_connection((".".join(numbers[:4]),
                                         int(numbers[4]) * 256 + int(numbers[5])),
                                        timeout=5, source_address=("127.0.0.2", 0))
    intruder.sendall(b"A.NAV:evil\r\n" * 20)
    INTRUDERS.append(intruder)
    FTPHandler.ftp_PORT(self, line)


HANDLERS = {
    "normal": LoggingHandler,
    # USER is answered "230" at once: no PASS is needed.
    "user230": handler(ftp_USER=log_in_without_password),
    # A greeting and a TYPE reply of several lines ("220-", a line without a code, "220 ").
    "multiline": handler(handle=greeting(["220-Welcome to the update server.",
                                          "220-Data of the day are ready.",
                                          "   a continuation line without a code",
                                          "220 Ready."]), ftp_TYPE=multiline_type),
    # A greeting whose first line is 700 bytes long.
    "longline": handler(handle=greeting(["220-" + "x" * 696, "220 Ready."])),
    # A greeting of "220-" lines, one every half second for at most 30 s, that never ends.
    "endless": handler(handle=endless_greeting),
    # A greeting of 101 "220-" lines, then "220 Ready.".
    "chatty": handler(handle=greeting(["220-line %d" % i for i in range(101)] + ["220 Ready."])),
    # RETR sends the file one byte every quarter second.
    "trickle": handler(ftp_RETR=retr(trickle)),
    # RETR sends the first half of the file, then closes both connections.
    "closemid": handler(ftp_RETR=retr(close_mid)),
    # Accepts connections and never answers.
    "silent": handler(handle=LoggingHandler.on_connect),
    # PORT is acknowledged but never used; LIST is answered "150", then the server closes
    # the control connection ("noconnect") or stays silent with it open ("stall").
    "noconnect": handler(ftp_PORT=acknowledge_port, ftp_LIST=list_announced(True)),
    "stall": handler(ftp_PORT=acknowledge_port, ftp_LIST=list_announced(False)),
    # RETR is answered "150" over an open data connection that carries no byte.
    "mute": handler(ftp_RETR=lambda self, file: self.respond("150 Sending.")),
    # Before the server's own data connection, one from 127.0.0.2 reaches the announced
    # port and sends "A.NAV:evil" lines.
    "foreign": handler(ftp_PORT=foreign_port),
}

FILE_SYSTEMS = {
    # A listing line in which no size follows the word at byte 24.
    "badlist": listed_size("unknown"),
    # The listing of "opt" is shorter than 24 bytes (the others are normal).
    "shortlist": file_system(format_list=short_opt_listing),
    # Listing lines that give the size as 0 (the file itself is sent whole), as -1, and
    # as 4294967296 (33 bits).
    "zerosize": listed_size("0"),
    "negsize": listed_size("-1"),
    "hugesize": listed_size("4294967296"),
    # RETR sends all but the last 6 bytes of the file (the listing is true), or the file
    # and 7 bytes more.
    "short": altered(lambda data: data[:-6]),
    "long": altered(lambda data: data + b"EXTRA\r\n"),
}


def main():
    global LOG_PATH
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", default="normal", choices=sorted({**HANDLERS, **FILE_SYSTEMS}))
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    LOG_PATH = args.log

    authorizer = DummyAuthorizer()
    authorizer.add_user(ACCOUNT, PASSWORD, os.path.abspath(args.dir), perm="elr")
    server_handler = type("TestHandler", (HANDLERS.get(args.mode, LoggingHandler),),
                          {"authorizer": authorizer,
                           "abstracted_fs": FILE_SYSTEMS.get(args.mode, AbstractedFS)})
    # pyftpdlib's log lines go to standard error; the tests read only standard output.
    server = FTPServer(("127.0.0.1", args.port), server_handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    end = time.monotonic() + LIFETIME
    while time.monotonic() < end:
        server.ioloop.loop(timeout=0.5, blocking=False)
    server.close_all()


if __name__ == "__main__":
    sys.exit(main())
