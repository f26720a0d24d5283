#!/usr/bin/python3
"""The local demo server of ./scripts/run.sh.

Fills a scratch folder with a small sample tree, serves it over FTP on a free 127.0.0.1
port (upload allowed) and points the profile "Local demo server" of accounts.dat at it.
Prints the port on a line of its own once it accepts connections, then serves until it
is terminated (or its parent goes).

Runs as the calling user; needs Debian's python3-pyftpdlib.
"""

import argparse
import logging
import os
import secrets
import signal
import sys
import tempfile

PROFILE = "Local demo server"
DEFAULT_USER = "demo"


def make_tree(root):
    """Some folders, text and binary files, one of about 50 MiB, a name with spaces
    and names with non-ASCII letters."""
    def text(rel, body):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(body)

    def binary(rel, size, chunk=None):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        block = chunk or os.urandom(min(size, 1 << 20))
        with open(path, "wb") as f:
            left = size
            while left > 0:
                f.write(block[:left])
                left -= len(block)

    os.makedirs(root, exist_ok=True)
    text("README.txt",
         "Welcome to the Tarsel FTP demo server.\n"
         "It runs on this computer only, for as long as Tarsel FTP started by\n"
         "scripts/run.sh runs. Everything here is a scratch copy: download,\n"
         "upload, rename and delete as you like.\n")
    text("Documents/Meeting notes.txt", "Agenda\n- Release plan\n- Demo server\n")
    text("Documents/Résumé.txt", "Name: Zoë Ångström\nCity: Zürich\n")
    text("Documents/Übersicht 2026.csv", "Monat;Umsatz\nJanuar;1200\nFebruar;1350\n")
    text("Projects/website/index.html", "<!DOCTYPE html>\n<title>Demo</title>\n<h1>Hello</h1>\n")
    text("Projects/website/css/site.css", "body { font-family: sans-serif; }\n")
    binary("Projects/website/images/logo.png", 18 * 1024)
    binary("Pictures/Holiday photo.jpg", 420 * 1024)
    binary("Pictures/Café.png", 96 * 1024)
    binary("Software/tools.tar.gz", 2 * 1024 * 1024)
    # Big enough to watch a transfer; repeats one random MiB, which is quick to write.
    binary("Software/big-file-50MiB.bin", 50 * 1024 * 1024)
    os.makedirs(os.path.join(root, "Uploads"), exist_ok=True)
    os.makedirs(os.path.join(root, "Empty folder"), exist_ok=True)


# accounts.dat is an INI file of 8-bit text with CR LF line ends; section names and keys
# compare without regard to ASCII letter case, and lines are trimmed. It is edited line by
# line so that everything else in it stays exactly as it was.

def _key(line):
    s = line.strip()
    if not s or s.startswith(";") or "=" not in s:
        return None
    return s.split("=", 1)[0].strip().lower()


def _section(line):
    s = line.strip()
    if len(s) >= 2 and s[0] == "[" and s[-1] == "]":
        return s[1:-1].strip().lower()
    return None


def _read_lines(path):
    try:
        with open(path, "rb") as f:
            data = f.read().decode("latin-1")
    except FileNotFoundError:
        return []
    lines = data.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [l[:-1] if l.endswith("\r") else l for l in lines]


def _write_lines(path, lines):
    # Through a temporary file renamed over the target, readable by the owner only: the
    # file holds passwords.
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".accounts-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write("".join(l + "\r\n" for l in lines).encode("latin-1"))
        os.chmod(tmp, 0o600)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def read_profile(lines, name):
    """The profile's entries (keys lower case), or None when it does not exist."""
    wanted = name.lower()
    found, current, values = False, None, {}
    for line in lines:
        sec = _section(line)
        if sec is not None:
            current = sec
            found = found or sec == wanted
            continue
        key = _key(line)
        if current == wanted and key is not None and key not in values:
            values[key] = line.split("=", 1)[1].strip()
    return values if found else None


def set_entries(lines, name, entries):
    """Sets `entries` (key, value) in every section called `name`, in place of the
    existing lines or after the section's last line."""
    wanted = name.lower()
    out, current, seen, pending = [], None, set(), None

    def flush():
        # Keys the section did not have yet go after its last entry.
        if pending is not None:
            missing = [f"{k}={v}" for k, v in entries if k.lower() not in seen]
            at = len(out)
            while at > 0 and not out[at - 1].strip():
                at -= 1
            out[at:at] = missing

    for line in lines:
        sec = _section(line)
        if sec is not None:
            flush()
            current, seen = sec, set()
            pending = True if sec == wanted else None
            out.append(line)
            continue
        key = _key(line)
        if current == wanted and key is not None:
            for k, v in entries:
                if k.lower() == key:
                    line = f"{k}={v}"
                    seen.add(key)
        out.append(line)
    flush()
    return out


def ensure_profile(path, port):
    """Adds the demo profile, or points the existing one at this run's port. Returns the
    user name and password the server must accept: those of the profile, so that a user
    who changed them keeps working; a profile without them gets new ones."""
    lines = _read_lines(path)
    values = read_profile(lines, PROFILE)
    if values is None:
        user, password = DEFAULT_USER, secrets.token_urlsafe(9)
        if lines and lines[-1].strip():
            lines.append("")
        # The keys in the order the program writes them.
        lines += [f"[{PROFILE}]", "Proxy=0", "Passive=1", "ProxyName=", "HostName=127.0.0.1",
                  f"UserName={user}", f"PassWord={password}", "StartDir=", f"Port={port}",
                  "Anonymous=0", "ServerType=0", ""]
    else:
        user = values.get("username") or DEFAULT_USER
        password = values.get("password") or secrets.token_urlsafe(9)
        # The port is a new free one on every run.
        lines = set_entries(lines, PROFILE, [("UserName", user), ("PassWord", password), ("Port", str(port))])
    _write_lines(path, lines)
    return user, password


def die_with_parent():
    # A killed run.sh cannot stop the server through its trap; the kernel does it then.
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="scratch folder to fill and serve")
    parser.add_argument("--accounts", required=True, help="path of accounts.dat")
    parser.add_argument("--log", help="server log file (default: none)")
    args = parser.parse_args()

    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    die_with_parent()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.log:
        logging.basicConfig(filename=args.log, level=logging.INFO)
    else:
        logging.basicConfig(level=logging.CRITICAL)

    root = os.path.abspath(args.root)
    make_tree(root)

    class Handler(FTPHandler):
        banner = "Tarsel FTP demo server ready."

    authorizer = DummyAuthorizer()
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)  # port 0: the system picks a free one
    port = server.socket.getsockname()[1]
    user, password = ensure_profile(args.accounts, port)
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    print(port, flush=True)
    server.serve_forever()  # returns on SIGTERM, its sockets closed


if __name__ == "__main__":
    main()
