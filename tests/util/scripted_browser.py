#!/usr/bin/python3
"""A browser for the sign-in tests: opens the address as a user's browser would and
follows the redirects, through the authorization server to the program's loopback
listener. Trusts the CA in SSL_CERT_FILE. Appends each address it opened to the file
named by SCRIPTED_BROWSER_LOG, if set.

Usage: scripted_browser.py URL
"""
import os
import ssl
import sys
import urllib.request


def main():
    url = sys.argv[1]
    log = os.environ.get("SCRIPTED_BROWSER_LOG")
    if log:
        with open(log, "a") as f:
            f.write(url + "\n")
    context = ssl.create_default_context(cafile=os.environ.get("SSL_CERT_FILE"))
    opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context))
    with opener.open(url, timeout=30) as page:
        page.read()


if __name__ == "__main__":
    main()
