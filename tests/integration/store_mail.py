"""Delivery agent for the fetchmail tests: stores the mail read from stdin, unchanged, as the next numbered file
of the folder given as the only argument."""

import os
import sys


def main():
    folder = sys.argv[1]
    data = sys.stdin.buffer.read()
    number = 1
    while True:
        try:
            fd = os.open(os.path.join(folder, "%04d" % number), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            break
        except FileExistsError:
            number += 1
    with os.fdopen(fd, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
