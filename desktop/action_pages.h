// The pages "Default actions" and "Actions by MAC address" of a proxy server.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <optional>

#include "config/proxy_server_settings.h"
#include "desktop/list_editor.h"

namespace corvane::desktop {

// A replacement value that its box asks for but that is none: its edit, and a sentence naming it.
struct MalformedValue {
  QLineEdit* edit;
  QString message;
};

// The replacement password and MAC address show, while they are typed, when their text is no such
// value: a red frame, and one line beside the edit that its accessible description repeats.
class DefaultActionsPage final : public QWidget {
 public:
  explicit DefaultActionsPage(QWidget* parent);
  ~DefaultActionsPage() override;

  void Load(const ProxyServerSettings& settings);
  // A replacement value without exactly 12 hexadecimal digits is stored as zero, with a note.
  void Store(ProxyServerSettings& settings, QStringList* notes = nullptr) const;
  // The first ticked replacement whose text is no value, if any.
  std::optional<MalformedValue> Malformed() const;
  QPushButton* help_button() const { return help_; }

 private:
  QCheckBox* remove_password_;
  QCheckBox* replace_password_;
  QLineEdit* password_;
  QLabel* password_problem_;
  QCheckBox* replace_mac_;
  QLineEdit* mac_;
  QLabel* mac_problem_;
  QPushButton* help_;
  std::unique_ptr<ListEditor<HostEntry>> destinations_;
};

// The actions by MAC address and, below them, the packets of the selected action
// (`CurrentActionItem`). Selecting another action first commits the packet list into the action
// shown before; the packets' Add acts only while an action is shown.
class ActionsByMacPage final : public QWidget {
 public:
  explicit ActionsByMacPage(QWidget* parent);
  ~ActionsByMacPage() override;

  void Load(const ProxyServerSettings& settings);
  void Store(ProxyServerSettings& settings);
  QPushButton* help_button() const { return help_; }
  // The action whose packets the packet list shows, or nothing.
  EntryItem<ActionByMac>* CurrentActionItem() const { return current_action_; }
  void ClearCurrentActionItem() { current_action_ = nullptr; }

 private:
  void ActionSelected(EntryItem<ActionByMac>* item);
  void CommitPackets();

  QPushButton* help_;
  QPushButton* add_packet_;
  QLineEdit* action_mac_;
  std::unique_ptr<ListEditor<ActionByMac>> actions_;
  std::unique_ptr<ListEditor<ReplaceByMacPacket>> packets_;
  EntryItem<ActionByMac>* current_action_ = nullptr;
};

}  // namespace corvane::desktop
