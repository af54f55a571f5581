"""Drives Corvane's window with a real keyboard (xdotool) and reads it as a screen reader does
(AT-SPI). Run by drive_window.sh inside Xvfb, a D-Bus session and a network namespace of its own.
Prints one line per check and exits 1 when any failed."""
import socket
import subprocess
import sys
import time

subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
time.sleep(1)
import pyatspi  # noqa: E402  (needs the bus above)

PORT = 40009
failures = []
program = subprocess.Popen([sys.argv[1]], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def check(what, ok, seen=""):
    print(("PASS " if ok else "FAIL ") + what + ("" if ok else f" (seen: {seen!r})"))
    if not ok:
        failures.append(what)


def wait(condition, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            result = condition()
            if result:
                return result
        except Exception:  # the tree changes under us
            pass
        time.sleep(0.1)
    return None


def app():
    for candidate in pyatspi.Registry.getDesktop(0):
        if candidate is not None and candidate.name == "Corvane":
            return candidate
    return None


def find(role, name=None, contains=None, root=None):
    def matches(node):
        if node is None or node.getRoleName() != role:
            return False
        return (name is None or node.name == name) and (contains is None or contains in node.name)

    return pyatspi.findDescendant(root or app(), matches)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def text(node):
    return node.queryText().getText(0, -1)


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "40", *names], check=True)


def type_into(node, typed):
    node.queryComponent().grabFocus()
    keys("ctrl+a", "BackSpace")
    subprocess.run(["xdotool", "type", "--delay", "40", typed], check=True)
    time.sleep(0.3)


def press(button):
    button.queryComponent().grabFocus()
    keys("space")
    time.sleep(0.3)


def tab_list(holding):
    """The tab bar that holds a tab titled `holding` (its own name follows the tab shown)."""
    return pyatspi.findDescendant(app(), lambda n: n is not None and
                                  n.getRoleName() == "page tab list" and
                                  any(tab.name == holding for tab in n))


def page(title, outer=False):
    for tab in tab_list("Service" if outer else "Logs"):
        if tab.name == title:
            tab.queryAction().doAction(0)  # what a screen reader's "press" does
    time.sleep(0.3)


def message_box():
    """The text of the message box shown now, closed with Enter."""
    box = wait(lambda: find("alert") or find("dialog"))
    if box is None:
        return ""
    seen = "\n".join(n.name for n in pyatspi.findAllDescendants(
        box, lambda n: n is not None and n.getRoleName() == "label" and n.name))
    window = subprocess.run(["xdotool", "search", "--sync", "--name", "Information"],
                            capture_output=True, text=True).stdout.split()
    if window:
        subprocess.run(["xdotool", "windowfocus", "--sync", window[-1]])
    keys("Return")
    wait(lambda: find("dialog") is None and find("alert") is None, 5)
    return seen


def row(list_name):
    return [cell.name for cell in find("tree", list_name) if cell.getRoleName() == "table cell"]


wait(lambda: app() and find("frame", "Corvane v1.1"), 20)
window = subprocess.run(["xdotool", "search", "--sync", "--name", "Corvane v1.1"],
                        capture_output=True, text=True).stdout.split()[0]
subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)

title = pyatspi.findDescendant(app(), lambda n: n is not None and
                               n.description == "Selected proxy server")
check("the selected proxy server's name is read-only text",
      (title.getRoleName(), title.name) == ("label", "New proxy server"),
      (title.getRoleName(), title.name))
check("the list says the state in words", row("Proxy server list") == ["New proxy server, stopped"],
      row("Proxy server list"))

port = find("text", "Receive port")
type_into(port, "70000")
check("a typed 70000 does not enter the receive port", text(port) == "7000", text(port))
type_into(port, str(PORT))

page("Default actions")
mac = find("text", "Replacement MAC address")
type_into(mac, "00:11:22:33:44:5")
check("an 11-digit MAC address says so", mac.description ==
      "Not a MAC address: 11 of 12 hexadecimal digits", mac.description)
press(find("check box", "Replace MAC address on:"))
page("Settings")
press(find("push button", "Start server"))
refusal = message_box()
check("Start refuses while the box is ticked, naming the field",
      "was not started" in refusal and "Replace MAC address on:" in refusal, refusal)
check("and nothing started", row("Proxy server list") == ["New proxy server, stopped"],
      row("Proxy server list"))
press(find("check box", "Replace MAC address on:"))  # unticked: the value is not used
page("Settings")
press(find("push button", "Start server"))
check("with the box unticked it starts", wait(
    lambda: row("Proxy server list") == ["New proxy server, running"]), row("Proxy server list"))

sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
packet = b"\xff" * 6 + bytes([1, 2, 3, 4, 5, 6]) * 16
page("Logs")
reason = wait(lambda: sender.sendto(packet, ("127.0.0.1", PORT)) and
              "sent from this host" in row("Received magic packets list"))
check("an ignored row says why", reason, row("Received magic packets list"))
status = find("status bar")
check("the status bar names the filter and where to switch it off",
      "untick \"Don't receive magic packets that are sent from your IP addresses\"" in
      status.description, status.description)

page("Filters by sender")
press(find("check box", "Don't receive magic packets that are sent to Broadcast IP address"))
check("an edit of the running proxy server waits for a restart", wait(
    lambda: row("Proxy server list") == ["New proxy server, running; changed; restart to apply"]),
    row("Proxy server list"))

tab_list("Filters by sender").queryComponent().grabFocus()
keys("Tab")
focused = wait(lambda: pyatspi.findDescendant(
    app(), lambda n: n is not None and n.getState().contains(pyatspi.STATE_FOCUSED)))
check("Tab after the page tabs lands on a visible control",
      focused is not None and showing(focused) and focused.getRoleName() != "filler",
      focused.getRoleName() if focused else None)

page("Service", outer=True)
press(find("push button", "Start the service"))
result = message_box()
check("a failed service start gives the proxy servers back, in its one message",
      result.startswith("Failed: ") and "1 proxy server of this window that had been stopped "
      "for the service was started again." in result, result)
check("and it runs again", wait(lambda: row("Proxy server list") == ["New proxy server, running"]),
      row("Proxy server list"))

page("Proxy servers", outer=True)
arrows = [b for b in (find("push button", "Scroll Right", root=t) for t in
                      [tab_list("Logs"), tab_list("Service")])
          if b is not None and showing(b)]
check("no tab bar needs its arrows", not arrows)

program.terminate()
program.wait(10)
print(f"{len(failures)} of the checks failed" if failures else "all checks passed")
sys.exit(1 if failures else 0)
