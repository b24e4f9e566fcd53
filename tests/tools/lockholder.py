#!/usr/bin/env python3
"""Another program's locks on a file, for the tests: holds one, or looks at what is held.

  lockholder.py hold KIND FILE [START LENGTH]
      KIND is flock-shared, flock-exclusive (BSD locks), posix-read, posix-write (classic record
      locks, owned by the process) or ofd-read, ofd-write (record locks owned by the open file).
      A record lock covers START and LENGTH bytes (0 and 0, the default: the whole file).
      Takes the lock without waiting (exit 3 when it is refused), prints "listo", and keeps it
      until its standard input closes, or for two minutes at most.
  lockholder.py look FILE
      Prints "record=none|read|write flock=free|shared|exclusive": the strongest record lock
      that F_GETLK reports over the whole file, and the strongest BSD lock held.
"""
import fcntl
import os
import select
import struct
import sys

F_OFD_GETLK = getattr(fcntl, "F_OFD_GETLK", 36)
F_OFD_SETLK = getattr(fcntl, "F_OFD_SETLK", 37)
FLOCK = "hhqqi4x"  # struct flock on Linux x86_64: type, whence, start, len, pid


def record_lock(fd, command, kind, start, length):
    arg = struct.pack(FLOCK, kind, os.SEEK_SET, start, length, 0)
    return struct.unpack(FLOCK, fcntl.fcntl(fd, command, arg))


def hold(kind, path, start, length):
    directory = os.path.isdir(path)
    fd = os.open(path, os.O_RDONLY if directory else os.O_RDWR)
    try:
        if kind == "flock-shared":
            fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
        elif kind == "flock-exclusive":
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        else:
            family, mode = kind.split("-")
            command = {"posix": fcntl.F_SETLK, "ofd": F_OFD_SETLK}[family]
            lock_type = {"read": fcntl.F_RDLCK, "write": fcntl.F_WRLCK}[mode]
            record_lock(fd, command, lock_type, start, length)
    except OSError as error:
        print("rechazado:", error, flush=True)
        return 3
    print("listo", flush=True)
    select.select([sys.stdin], [], [], 120)
    return 0


def look(path):
    fd = os.open(path, os.O_RDONLY)
    if record_lock(fd, fcntl.F_GETLK, fcntl.F_RDLCK, 0, 0)[0] != fcntl.F_UNLCK:
        record = "write"
    elif record_lock(fd, fcntl.F_GETLK, fcntl.F_WRLCK, 0, 0)[0] != fcntl.F_UNLCK:
        record = "read"
    else:
        record = "none"
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        bsd = "free"
    except OSError:
        try:
            fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
            bsd = "shared"
        except OSError:
            bsd = "exclusive"
    print("record=%s flock=%s" % (record, bsd))
    return 0


def main(args):
    if len(args) >= 3 and args[0] == "hold":
        start = int(args[3], 0) if len(args) > 3 else 0
        length = int(args[4], 0) if len(args) > 4 else 0
        return hold(args[1], args[2], start, length)
    if len(args) == 2 and args[0] == "look":
        return look(args[1])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
