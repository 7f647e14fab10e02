#!/usr/bin/python3
"""The installed program: install into a temporary prefix, validate the desktop
entry and the AppStream file, run the installed program (--version, a bad
address, an ftp:// address handed to a window already running, which then logs
in and lists), and check the .deb that CPack builds.

Usage: install_test.py --build BUILD_DIR --source SOURCE_DIR
"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


def check(condition, what):
    if not condition:
        print("FAIL:", what)
        sys.exit(1)
    print("ok:", what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    work = tempfile.mkdtemp(prefix="tarvo-install-")
    prefix = os.path.join(work, "prefix")

    result = run("cmake", "--install", args.build, "--prefix", prefix)
    check(result.returncode == 0, "cmake --install: " + result.stderr[-300:])
    share = os.path.join(prefix, "share")
    expected = ["bin/tarvo", "share/tarvo/Tarvo.html", "share/tarvo/intro.txt", "share/tarvo/ftpmailhelp.txt",
                "share/applications/org.tarvo.Tarvo.desktop", "share/metainfo/org.tarvo.Tarvo.metainfo.xml",
                "share/icons/hicolor/scalable/apps/org.tarvo.Tarvo.svg"]
    for path in expected:
        check(os.path.isfile(os.path.join(prefix, path)), "installed " + path)
    result = run("desktop-file-validate", os.path.join(share, "applications/org.tarvo.Tarvo.desktop"))
    check(result.returncode == 0 and not result.stdout.strip(), "desktop entry validates " + result.stdout)
    result = run("appstreamcli", "validate", "--no-net", os.path.join(share, "metainfo/org.tarvo.Tarvo.metainfo.xml"))
    check(result.returncode == 0, "metainfo validates " + result.stdout[-300:])

    program = os.path.join(prefix, "bin/tarvo")
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", TARVO_INSTANCE="tarvo-install-%d" % os.getpid())
    result = run(program, "--version", env=environment)
    check(result.returncode == 0 and result.stdout.startswith("Tarvo "), "--version: " + result.stdout)
    for bad in ["ftp://host/a\r\nDELE x", "ftp://host:99999/", "ftp://host/%0d%0aQUIT", "http://host/"]:
        result = run(program, bad, env=environment)
        check(result.returncode == 2 and "不能打开地址" in result.stderr, "refused %r: %s" % (bad, result.stderr.strip()))

    # A window already running takes the address of a second start and lists its folder.
    root = os.path.join(work, "ftproot")
    os.makedirs(os.path.join(root, "sub"))
    open(os.path.join(root, "sub", "inside.txt"), "w").write("x")
    port = free_port()
    low = free_port()
    log_path = os.path.join(work, "ftp.log")
    with open(log_path, "w") as log:
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(args.source, "tests/peers/ftp_pyftpdlib.py"),
                                   "--port", str(port), "--root", root, "--user", "u", "--password", "p",
                                   "--passive", "%d-%d" % (low, low)], stdout=log, stderr=log)
    first = subprocess.Popen([program], env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        check(wait_for(lambda: b"starting FTP server" in open(log_path, "rb").read().lower()
                       or port_open(port), 15), "FTP server up")
        socket_name = environment["TARVO_INSTANCE"]
        # Qt puts the local socket of a bare name in the temporary folder.
        check(wait_for(lambda: os.path.exists(os.path.join(tempfile.gettempdir(), socket_name)), 15),
              "the first window listens for addresses")
        result = run(program, "ftp://u:p@127.0.0.1:%d/sub/" % port, env=environment)
        check(result.returncode == 0, "second start hands the address over and ends")
        check(first.poll() is None, "the first window still runs")

        def listed():
            text = open(log_path, encoding="utf-8", errors="replace").read()
            # pyftpdlib logs the login and the folder change (with its real path), not listings.
            return "USER 'u' logged in" in text and "/sub 250" in text
        check(wait_for(listed, 20), "the running window logged in and changed to /sub:\n" + open(log_path).read()[-1500:])
    finally:
        first.kill()
        server.kill()
        first.wait()
        server.wait()

    result = run("cpack", "--config", os.path.join(args.build, "CPackConfig.cmake"), "-B", os.path.join(work, "deb"),
                 cwd=work)
    check(result.returncode == 0, "cpack builds the .deb " + result.stderr[-300:])
    debs = [f for f in os.listdir(os.path.join(work, "deb")) if f.endswith(".deb")]
    check(len(debs) == 1, "one .deb")
    deb = os.path.join(work, "deb", debs[0])
    control = run("dpkg-deb", "-f", deb, "Package", "Depends").stdout
    check("Package: tarvo" in control and "libqt6widgets6" in control and "libssl3" in control,
          "the .deb depends on Debian's packages: " + control.replace("\n", " "))
    files = run("dpkg-deb", "-c", deb).stdout
    for path in expected:
        check("./usr/" + path in files, "the .deb holds /usr/" + path)
    subprocess.run(["rm", "-rf", work])
    print("install test passed")


def port_open(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


if __name__ == "__main__":
    main()
