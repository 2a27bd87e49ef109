#!/usr/bin/python3
"""A small FTP server on loopback that serves one folder to one account.

The ordering client downloads its price database and new program versions by FTP;
tests and demos use this server in place of the shop's distribution server.

    /usr/bin/python3 tools/ftp_server.py --port P --home DIR --user NAME --password PASS

--throttle N sends downloads at N bytes a second at most (a trickling server).
Prints READY on standard output once it is listening.
"""
import argparse
import logging
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--home", required=True)
    ap.add_argument("--user", default="zorvik_price")
    ap.add_argument("--password", default="4817Stock!")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--throttle", type=int, default=0, help="bytes per second sent")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()

    logging.basicConfig(level=logging.INFO if args.verbose else logging.WARNING,
                        stream=sys.stderr, format="ftp_server: %(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "varnokel test ftp ready"
    Handler.passive_ports = None  # any free port the system hands out
    Handler.permit_foreign_addresses = False
    if args.throttle > 0:
        class Trickle(ThrottledDTPHandler):
            write_limit = args.throttle
        Handler.dtp_handler = Trickle

    server = FTPServer((args.host, args.port), Handler)
    server.max_cons = 64

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)

    print("READY", flush=True)
    # Returns on SIGTERM / Ctrl+C after closing every connection.
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
