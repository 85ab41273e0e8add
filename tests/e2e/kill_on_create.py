#!/usr/bin/env python3
"""Kills a process the moment a file whose name ends in SUFFIX is created in FOLDER.

Usage: kill_on_create.py FOLDER SUFFIX PID READY_FILE
Writes READY_FILE once the watch is set, prints the name it saw; gives up after 60 s.
"""
import ctypes, os, select, signal, struct, sys

folder, suffix, pid, ready = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3]), sys.argv[4]
IN_CREATE = 0x100
libc = ctypes.CDLL(None, use_errno=True)
fd = libc.inotify_init()
if fd < 0 or libc.inotify_add_watch(fd, folder.encode(), IN_CREATE) < 0:
    sys.exit("kill_on_create: cannot watch " + folder)
open(ready, "w").close()
while True:
    if not select.select([fd], [], [], 60)[0]:
        sys.exit("kill_on_create: nothing was created")
    data = os.read(fd, 65536)
    at = 0
    while at < len(data):
        _, _, _, length = struct.unpack_from("iIII", data, at)
        name = data[at + 16:at + 16 + length].rstrip(b"\0")
        at += 16 + length
        if name.endswith(suffix):
            os.kill(pid, signal.SIGKILL)
            print(name.decode())
            sys.exit(0)
