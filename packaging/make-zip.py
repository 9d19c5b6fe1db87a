#!/usr/bin/env python3
# Writes a zip whose bytes depend only on its contents: members in the order given, one fixed
# time for all (SOURCE_DATE_EPOCH, else the last commit's date, else 1980-01-01), no extra
# fields, no host file modes. usage: make-zip.py OUT.zip SOURCE_DIR NAME=FILE...
import os
import subprocess
import sys
import time
import zipfile


def epoch(source_dir):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if not value:
        try:
            value = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            value = ""
    # A zip holds local times from 1980 on; the epoch is taken as UTC.
    return max(int(value or 0), 315532800)


def main(argv):
    if len(argv) < 4:
        sys.stderr.write("usage: make-zip.py OUT.zip SOURCE_DIR NAME=FILE...\n")
        return 2
    date_time = time.gmtime(epoch(argv[2]))[:6]
    with zipfile.ZipFile(argv[1] + ".part", "w") as z:
        for member in argv[3:]:
            name, path = member.split("=", 1)
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0  # MS-DOS attributes: just "archive", no Unix mode
            info.external_attr = 0x20
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)
    os.replace(argv[1] + ".part", argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
