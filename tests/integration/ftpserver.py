#!/usr/bin/python3
"""A real FTP server (pyftpdlib) for the update tests, with the odd behaviours of servers
the update session must cope with.

    ftpserver.py --dir DIR [--host 127.0.0.1] [--port 0] [--mode MODE] [--log FILE]
                 [--lifetime SECONDS]

Serves DIR to the account datakeeper / Owl42Cat on host:port (port 0: a free one) and
prints "PORT <n>" on standard output once it listens. It ends by itself after --lifetime
seconds (default 300), so a test that loses track of it leaves nothing running. --log
appends one line per connection ("CONNECT") and per command received (the command line
as sent, e.g. "USER datakeeper"). Modes:

    normal     pyftpdlib as it is (its listing puts the group at byte 24, then the size)
    user230    USER is answered "230" at once: no PASS is needed
    multiline  a greeting and a TYPE reply of several lines ("220-", a line without a
               code, "220 ")
    longline   a greeting whose first line is 700 bytes long
    badlist    a listing line in which no size follows the word at byte 24
    shortlist  the listing of "opt" is shorter than 24 bytes (the others are normal)
    zerosize   a listing line that gives the size as 0 (the file itself is sent whole)
    negsize    a listing line that gives the size as -1
    hugesize   a listing line that gives the size as 4294967296 (33 bits)
    closemid   RETR sends the first half of the file, then closes both connections
    silent     accepts connections and never answers
    endless    a greeting of "220-" lines, one every half second for at most 30 s, that
               never ends
    chatty     a greeting of 101 "220-" lines, then "220 Ready."
    trickle    RETR sends the file one byte every quarter second
    short      RETR sends all but the last 6 bytes of the file (the listing is true)
    long       RETR sends the file and 7 bytes more
    noconnect  PORT is acknowledged but never used; LIST is answered "150", then the
               server closes the control connection
    stall      as noconnect, but after the "150" it stays silent with the connection open
    mute       RETR is answered "150" over an open data connection that carries no byte
    foreign    before the server's own data connection, one from 127.0.0.2 reaches the
               announced port and sends "A.NAV:evil" lines
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

LOG_PATH = None


def log(line):
    if LOG_PATH:
        with open(LOG_PATH, "a") as f:
            f.write(line + "\n")


class ShortListFS(AbstractedFS):
    def format_list(self, basedir, listing, ignore_err=True):
        if listing == ["opt"]:
            return iter([b"-rw-r--r--   1 owner\r\n"])
        return super().format_list(basedir, listing, ignore_err)


def listed_size_fs(size_text):
    """A file system whose listings give every file the size size_text, in the long format
    the session reads: the word at byte 24 (the group), then the size."""
    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            yield b"-rw-r--r--   1 owner    group    %8s Dec 06 19:03 %s\r\n" % (
                size_text.encode(), name.encode())
    return type("ListedSizeFS", (AbstractedFS,), {"format_list": format_list})


def altered_fs(alter):
    """A file system that serves every file's bytes through alter; listings stay true."""
    def open_file(self, filename, mode):
        if "r" not in mode:
            return AbstractedFS.open(self, filename, mode)
        with open(filename, "rb") as f:
            served = io.BytesIO(alter(f.read()))
        served.name = filename
        return served
    return type("AlteredFS", (AbstractedFS,), {"open": open_file})


class LoggingHandler(FTPHandler):
    use_sendfile = False  # the altered files are in memory

    def on_connect(self):
        log("CONNECT")

    def pre_process_command(self, line, cmd, arg):
        log(line)
        return super().pre_process_command(line, cmd, arg)


class User230Handler(LoggingHandler):
    def ftp_USER(self, line):
        self.username = line
        home = self.authorizer.get_home_dir(line)
        self.handle_auth_success(home, "", "Logged in, no password needed.")


def greeting_handler(lines):
    """A handler that greets with lines: all but the last as they stand, then the last as
    the final reply."""
    def handle(self):
        self.on_connect()
        for line in lines[:-1]:
            self.push(line + "\r\n")
        self.respond(lines[-1])
    return type("GreetingHandler", (LoggingHandler,), {"handle": handle})


class MultilineHandler(greeting_handler(["220-Welcome to the update server.",
                                         "220-Data of the day are ready.",
                                         "   a continuation line without a code", "220 Ready."])):
    def ftp_TYPE(self, line):
        self._current_type = "i"
        self.push("200-Type set to binary.\r\n")
        self.respond("200 Done.")


def retr_handler(send):
    """A handler whose RETR, over an open data connection, announces the transfer and hands
    the file's bytes and the data socket, made blocking, to send(handler, data, sock)."""
    def ftp_RETR(self, file):
        if self.data_channel is None:
            return self.respond("425 No data connection.")
        with open(file, "rb") as f:
            data = f.read()
        self.respond("150 Sending.")
        self.data_channel.socket.setblocking(True)
        send(self, data, self.data_channel.socket)
    return type("RetrHandler", (LoggingHandler,), {"ftp_RETR": ftp_RETR})


def close_mid(handler, data, sock):
    sock.sendall(data[: len(data) // 2])
    handler.data_channel.close()
    handler.close()


def trickle(handler, data, sock):
    for i in range(len(data)):
        try:
            sock.sendall(data[i:i + 1])
        except OSError:
            break
        time.sleep(0.25)
    handler.data_channel.close()


class EndlessHandler(LoggingHandler):
    def handle(self):
        self.on_connect()
        self.socket.setblocking(True)
        for _ in range(60):
            try:
                self.socket.sendall(b"220-still talking\r\n")
            except OSError:
                break
            time.sleep(0.5)


class NoConnectHandler(LoggingHandler):
    def ftp_PORT(self, line):
        self.respond("200 PORT command successful.")

    def ftp_LIST(self, path):
        self.respond("150 Here comes the listing.")
        self.close_when_done()


class StallHandler(NoConnectHandler):
    def ftp_LIST(self, path):
        self.respond("150 Here comes the listing.")


class MuteHandler(LoggingHandler):
    def ftp_RETR(self, file):
        self.respond("150 Sending.")


class ForeignHandler(LoggingHandler):
    intruders = []

    def ftp_PORT(self, line):
        numbers = line.split(",")
        intruder = socket.create_connection((".".join(numbers[:4]),
                                             int(numbers[4]) * 256 + int(numbers[5])),
                                            timeout=5, source_address=("127.0.0.2", 0))
        intruder.sendall(b"A.NAV:evil\r\n" * 20)
        self.intruders.append(intruder)
        super().ftp_PORT(line)


HANDLERS = {
    "normal": (LoggingHandler, AbstractedFS),
    "user230": (User230Handler, AbstractedFS),
    "multiline": (MultilineHandler, AbstractedFS),
    "longline": (greeting_handler(["220-" + "x" * 696, "220 Ready."]), AbstractedFS),
    "badlist": (LoggingHandler, listed_size_fs("unknown")),
    "shortlist": (LoggingHandler, ShortListFS),
    "zerosize": (LoggingHandler, listed_size_fs("0")),
    "negsize": (LoggingHandler, listed_size_fs("-1")),
    "hugesize": (LoggingHandler, listed_size_fs("4294967296")),
    "endless": (EndlessHandler, AbstractedFS),
    "chatty": (greeting_handler(["220-line %d" % i for i in range(101)] + ["220 Ready."]),
               AbstractedFS),
    "trickle": (retr_handler(trickle), AbstractedFS),
    "closemid": (retr_handler(close_mid), AbstractedFS),
    "silent": (type("SilentHandler", (LoggingHandler,), {"handle": LoggingHandler.on_connect}),
               AbstractedFS),
    "short": (LoggingHandler, altered_fs(lambda data: data[:-6])),
    "long": (LoggingHandler, altered_fs(lambda data: data + b"EXTRA\r\n")),
    "noconnect": (NoConnectHandler, AbstractedFS),
    "stall": (StallHandler, AbstractedFS),
    "mute": (MuteHandler, AbstractedFS),
    "foreign": (ForeignHandler, AbstractedFS),
}


def main():
    global LOG_PATH
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", default="normal", choices=sorted(HANDLERS))
    parser.add_argument("--log")
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    LOG_PATH = args.log

    handler_class, fs_class = HANDLERS[args.mode]
    authorizer = DummyAuthorizer()
    authorizer.add_user(ACCOUNT, PASSWORD, os.path.abspath(args.dir), perm="elr")
    handler = type("TestHandler", (handler_class,), {})
    handler.authorizer = authorizer
    handler.abstracted_fs = fs_class
    # pyftpdlib's log lines go to standard error; the tests read only standard output.
    server = FTPServer((args.host, args.port), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    end = time.monotonic() + args.lifetime
    while time.monotonic() < end:
        server.ioloop.loop(timeout=0.5, blocking=False)
    server.close_all()


if __name__ == "__main__":
    sys.exit(main())
