#!/usr/bin/python3
"""A user's first minutes with the real program on a real X server.

Starts Xvfb, a pyftpdlib server and the program (from a folder of its own, so
it starts as a new installation), then drives it with xdotool the way a person
would: types the login into the login bar, enters a folder, downloads a folder,
kills the server in the middle and expects the failure to be reported, and
deletes a file answering the question No and then Yes. What the window shows
is read over the accessibility bus; results are checked on disk. Screenshots
land in the output folder.

Run inside its own D-Bus session: dbus-run-session -- journey.py --program P --out DIR
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "..", "peers", "ftp_pyftpdlib.py")
BIG = 6 * 1024 * 1024
THROTTLE = 1024 * 1024  # bytes per second: a download the test can cut
PASSIVE = 40000 + os.getpid() % 20000


class JourneyFailed(Exception):
    pass


def wait_for(what, condition, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise JourneyFailed("timed out waiting for " + what)


# ---- the accessibility tree ----

def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for child in children(node):
        yield from walk(child, depth + 1)


def role_and_name(node):
    try:
        return node.getRoleName(), node.name or ""
    except Exception:
        return "", ""


def description(node):
    try:
        return node.description or ""
    except Exception:
        return ""


def program_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        if role_and_name(app)[1].startswith("Tarvo"):
            return app
    return None


def find(predicate, root=None):
    root = root or program_app()
    for node in walk(root):
        role, name = role_and_name(node)
        if predicate(role, name):
            return node
    return None


def named(name, root=None):
    """A control by its name, or by its description where its name is its text (combo boxes)."""
    root = root or program_app()
    for node in walk(root):
        if role_and_name(node)[1] == name or (description(node) == name and role_and_name(node)[0] != "label"):
            return node
    return None


def field(name):
    """The control a label names, not the label."""
    root = program_app()
    for node in walk(root):
        role, n = role_and_name(node)
        if role != "label" and (n == name or description(node) == name):
            return node
    return None


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, text.characterCount)
    except Exception:
        return role_and_name(node)[1]


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def dialogs():
    """The message boxes on screen: (frame, its whole text)."""
    found = []
    for top in children(program_app()):
        role, name = role_and_name(top)
        if role in ("dialog", "alert") and showing(top):
            texts = [text_of(n) for n in walk(top) if role_and_name(n)[0] == "label"]
            found.append((top, name + "\n" + "\n".join(texts)))
    return found


# ---- a person's hands ----

class Hands:
    def __init__(self, env):
        self.env = env

    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env, check=True)

    def click(self, node, double=False):
        x, y, w, h = extents(node)
        self.xdotool("mousemove", x + w // 2, y + h // 2)
        time.sleep(0.1)
        self.xdotool("click", "--repeat", 2 if double else 1, "--delay", 80, 1)
        time.sleep(0.3)

    def type(self, text):
        self.xdotool("type", "--delay", 30, text)

    def key(self, *keys):
        self.xdotool("key", *keys)
        time.sleep(0.2)

    def replace_text(self, node, text):
        self.click(node)
        self.key("ctrl+a")
        self.type(text)


class Journey:
    def __init__(self, args):
        self.args = args
        self.out = args.out
        os.makedirs(self.out, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="tarvo-journey-")
        self.processes = []
        self.shots = 0

    # ---- the pieces ----

    def start_display(self):
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                                pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise JourneyFailed("Xvfb did not start")
            number += chunk
        os.close(read)
        self.processes.append(xvfb)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip(), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                        QT_QPA_PLATFORM="xcb", HOME=os.path.join(self.work, "home"), LANG="C.UTF-8")
        os.makedirs(self.env["HOME"], exist_ok=True)
        self.hands = Hands(self.env)
        pyatspi.Registry.getDesktop(0)  # the registry runs before the program asks for it

    def fill_server_root(self):
        self.root = os.path.join(self.work, "server")
        for folder in ("文件夹/子目录", "大文件夹"):
            os.makedirs(os.path.join(self.root, folder), exist_ok=True)
        with open(os.path.join(self.root, "文件夹", "说明.txt"), "w", encoding="utf-8") as f:
            f.write("journey\n")
        for i in range(3):
            with open(os.path.join(self.root, "大文件夹", "part%d.bin" % i), "wb") as f:
                f.write(os.urandom(BIG))
        with open(os.path.join(self.root, "删我.txt"), "w") as f:
            f.write("delete me\n")

    def start_server(self, port=0):
        server = subprocess.Popen(["/usr/bin/python3", PEER, "--port", str(port), "--root", self.root, "--user", "u",
                                   "--password", "p", "--passive", "%d-%d" % (PASSIVE, PASSIVE + 20), "--throttle", str(THROTTLE)],
                                  stdout=subprocess.PIPE, stderr=open(os.path.join(self.out, "server.log"), "a"))
        line = server.stdout.readline().decode()
        if not line.startswith("ready "):
            raise JourneyFailed("the FTP server did not start")
        self.server = server
        self.processes.append(server)
        return int(line.split()[1])

    def start_program(self):
        # A folder of its own: the settings beside the program are a new installation's.
        app = os.path.join(self.work, "app")
        os.makedirs(app)
        source = os.path.dirname(self.args.program)
        for name in os.listdir(source):
            path = os.path.join(source, name)
            if os.path.isfile(path) and (name == "tarvo" or name.endswith((".html", ".txt"))):
                shutil.copy2(path, app)
        self.local = os.path.join(self.work, "local")
        os.makedirs(self.local)
        program = subprocess.Popen([os.path.join(app, "tarvo")], cwd=self.local, env=self.env,
                                   stdout=open(os.path.join(self.out, "program.log"), "w"), stderr=subprocess.STDOUT)
        self.processes.append(program)
        self.program = program
        wait_for("the main window", lambda: named("记录窗口"), 30)
        time.sleep(1)

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.out, "%02d-%s.png" % (self.shots, name))
        subprocess.run(["import", "-window", "root", path], env=self.env, check=False)
        print("screenshot", path, flush=True)

    def log_text(self):
        return text_of(named("记录窗口"))

    def connection(self):
        label = find(lambda role, name: role == "label" and name.strip().startswith(("未连接", "正在连接", "已连接")))
        return role_and_name(label)[1] if label else ""

    def row(self, list_name, text):
        lst = named(list_name)
        return find(lambda role, name: role == "table cell" and name == text and True, lst)

    def close_dialogs(self, expect_text=None, timeout=20.0):
        """Waits for the message boxes a step brings, reads them and presses Enter on each."""
        seen = []
        wait_for("a message box", lambda: dialogs(), timeout)
        while True:
            boxes = dialogs()
            if not boxes:
                time.sleep(1.5)
                if not dialogs():
                    break
                continue
            frame, text = boxes[0]
            seen.append(text)
            self.hands.click(frame)  # the box takes the keys
            self.hands.key("Return")
            time.sleep(0.5)
        if expect_text and not any(expect_text in t for t in seen):
            raise JourneyFailed("no message box said %r; they said %r" % (expect_text, seen))
        return seen

    # ---- the journey ----

    def run(self):
        self.start_display()
        self.fill_server_root()
        port = self.start_server()
        self.start_program()

        # A first start asks nothing and shows no error.
        time.sleep(1)
        if dialogs():
            raise JourneyFailed("a first start showed a message box: %r" % [t for _, t in dialogs()])
        if "未连接" not in self.connection():
            raise JourneyFailed("the status bar does not say it is offline: %r" % self.connection())
        self.shot("first-start")

        # Connect by typing into the login bar, Enter in the password field.
        hands = self.hands
        server_box = field("服务器")
        hands.replace_text(find(lambda role, name: role == "text", server_box) or server_box, "127.0.0.1")
        hands.replace_text(field("端口"), str(port))
        hands.replace_text(field("用户名"), "u")
        hands.replace_text(field("密码"), "p")
        hands.key("Return")
        wait_for("the connection", lambda: "已连接" in self.connection())
        wait_for("the remote listing", lambda: self.row("远程文件列表", "文件夹"))
        self.shot("connected")

        # Enter a folder by double-clicking it.
        hands.click(self.row("远程文件列表", "文件夹"), double=True)
        wait_for("the folder's listing", lambda: self.row("远程文件列表", "说明.txt"))
        shown = role_and_name(field("远程路径"))[1]
        if "文件夹" not in shown:
            raise JourneyFailed("the remote path box shows %r, not the folder" % shown)
        self.shot("folder-entered")
        hands.click(named("远程上一层目录"))
        wait_for("the top listing again", lambda: self.row("远程文件列表", "大文件夹"))

        # Download a folder; the server dies in the middle.
        hands.click(self.row("远程文件列表", "大文件夹"))
        hands.click(named("下载"))
        folder = os.path.join(self.local, "大文件夹")

        def sizes():
            names = os.listdir(folder) if os.path.isdir(folder) else []
            return [os.path.getsize(os.path.join(folder, n)) for n in names]

        wait_for("the first bytes on disk", lambda: any(sizes()))
        # At once: a loaded machine must not let the whole folder arrive first.
        self.server.send_signal(signal.SIGKILL)
        self.server.wait()
        self.shot("server-killed")
        said = self.close_dialogs()
        log = self.log_text()
        if "下载失败" not in log:
            raise JourneyFailed("the log does not report the failed download:\n" + log[-2000:])
        if not any(0 < size < BIG for size in sizes()):
            raise JourneyFailed("no partial file was kept: %r" % sizes())
        if "已连接" in self.connection():
            raise JourneyFailed("the status bar still says connected after the server died")
        print("failure reported:", said, flush=True)
        self.shot("failure-reported")

        # The server comes back; delete a file, No and then Yes.
        self.start_server(port)
        hands.click(named("连接主机"))
        wait_for("the connection again", lambda: "已连接" in self.connection())
        wait_for("the remote listing", lambda: self.row("远程文件列表", "删我.txt"))
        victim = os.path.join(self.root, "删我.txt")
        for answer, stays in (("否(N)", True), ("是(Y)", False)):
            hands.click(self.row("远程文件列表", "删我.txt"))
            hands.key("Delete")
            box = wait_for("the delete question", lambda: dialogs())
            frame, text = box[0]
            if "删除" not in text:
                raise JourneyFailed("the delete question reads %r" % text)
            self.shot("delete-question")
            button = find(lambda role, name: role == "push button" and name.replace("&", "") == answer, frame)
            if button is None:
                raise JourneyFailed("no %s button in %r" % (answer, text))
            hands.click(button)
            if stays:
                time.sleep(1.5)
                if not os.path.exists(victim):
                    raise JourneyFailed("answering No deleted the file")
            else:
                wait_for("the file to go", lambda: not os.path.exists(victim))
                wait_for("the list to follow", lambda: not self.row("远程文件列表", "删我.txt"))
        self.shot("deleted")
        print("journey passed", flush=True)

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
                process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    journey = Journey(args)
    try:
        journey.run()
    except JourneyFailed as failure:
        journey.shot("failed")
        print("JOURNEY FAILED:", failure, flush=True)
        return 1
    finally:
        journey.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
