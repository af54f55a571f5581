// Saves a PNG of every page of the main window, filled with sample settings and log rows, for a
// person to look at. Usage: corvane_screenshots <folder> (run it under Xvfb, or offscreen).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "desktop/tform_main.h"
#include "platform/udp_socket.h"
#include "service/systemd_service_manager.h"

using namespace corvane;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const QString folder = argv[1];
  QDir().mkpath(folder);
  const QString home = QDir(folder + "/home").absolutePath();
  QDir(home).removeRecursively();  // a fresh profile each time
  QDir().mkpath(home);
  qputenv("HOME", home.toUtf8());
  QApplication application(argc, argv);

  SystemdServiceManager manager;
  SystemFileCopier files;
  desktop::DesktopDependencies dependencies;
  dependencies.service_manager = &manager;
  dependencies.files = &files;
  dependencies.service_paths = CurrentServicePaths();
  dependencies.sleep = [](std::chrono::milliseconds) {};
  dependencies.program_path = "/usr/bin/Corvane";
  dependencies.tray = false;
  desktop::TFormMain form(dependencies);
  if (!form.FormCreate()) return 1;
  form.show();

  // Sample settings typed into the pages, and a running proxy server that logs.
  const auto type = [&](const char* name, const QString& text) {
    auto* edit = form.findChild<QLineEdit*>(name);
    edit->setText(text);
  };
  const auto click = [&](const char* name) {
    QTest::mouseClick(form.findChild<QWidget*>(name), Qt::LeftButton);
  };
  type("EditDontRecvFromHost", "192.168.1.0");
  type("EditDontRecvFromHostPrefix", "24");
  click("ButtonAddDontRecvFromHost");
  type("EditRecvFromPort", "40000 - 40009");
  click("ButtonAddRecvFromPort");
  type("EditRecvWithMac", "00:11:22:33:44:55");
  click("ButtonAddRecvWithMac");
  type("EditSendToHost", "127.0.0.1");
  type("EditSendToHostPort", "47990");
  click("ButtonAddSendToHost");
  type("EditActionByMac", "AA:BB:CC:DD:EE:FF");
  click("ButtonAddActionByMac");
  form.findChild<QTreeWidget*>("ListViewActionsByMacs")->topLevelItem(0)->setSelected(true);
  type("EditReplaceByMacHost", "10.0.0.255");
  click("ButtonAddReplaceByMacPacket");
  type("EditReplaceMac", "00:11:22:33:44:5");  // one digit short: the page says so
  type("EditRecvPort", "47991");
  type("EditSendPort", "47991");
  form.findChild<QCheckBox*>("CheckBoxDontRecvFromYourIp")->setChecked(false);
  click("ButtonStartServer");

  UdpSocket peer;
  if (!peer.Open(AddressFamily::kIpv4)) static_cast<void>(peer.Bind(0));
  std::vector<std::uint8_t> packet(108, 0x10);
  std::fill_n(packet.begin(), 6, 0xFF);
  for (int copy = 0; copy < 16; ++copy) {
    const std::uint8_t mac[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::copy(mac, mac + 6, packet.begin() + 6 + copy * 6);
  }
  for (int i = 0; i < 20; ++i) {
    static_cast<void>(peer.SendTo(packet, {IpAddress::Ipv4(127, 0, 0, 1), 47991}));
    QTest::qWait(20);
  }

  // An edit of the running proxy server, which waits for its restart.
  form.findChild<QCheckBox*>("CheckBoxDontRecvFromBroadcastIp")->setChecked(true);

  // Every page at the size the window opens with, then again at its smallest size.
  auto* outer = form.findChild<QTabWidget*>("PageControlMain");
  auto* inner = form.findChild<QTabWidget*>("PageControlServer");
  int index = 0;
  const auto save_pages = [&](const QString& where) {
    QDir().mkpath(where);
    int shot = 0;
    for (int page = 0; page < inner->count(); ++page) {
      outer->setCurrentIndex(0);
      inner->setCurrentIndex(page);
      QTest::qWait(50);
      form.grab().save(QString("%1/%2-proxy-%3.png").arg(where).arg(shot++).arg(page));
    }
    for (int tab = 1; tab < outer->count(); ++tab) {
      outer->setCurrentIndex(tab);
      QTest::qWait(50);
      form.grab().save(QString("%1/%2-tab-%3.png").arg(where).arg(shot++).arg(tab));
    }
    index += shot;
  };
  save_pages(folder);
  form.resize(form.minimumSize());
  save_pages(folder + "/smallest");
  std::printf("saved %d pages to %s\n", index, argv[1]);
  return 0;
}
