// Engine events into the log histories and the Logs page, and the service buttons.
#include "desktop/logs_page.h"
#include "desktop/message_box.h"
#include "desktop/tform_main.h"

namespace corvane::desktop {

void TFormMain::RecordError(std::uint32_t id, const std::string& text) {
  const auto history = histories_.find(id);
  if (history == histories_.end()) return;
  const ErrorRow row{LocalNow(), text};
  history->second->AddError(row);
  if (id == selected_id_) logs_page_->AddError(history->second->errors().back());
}

void TFormMain::RecordPacket(const EngineReport& report) {
  const auto history = histories_.find(report.Id);
  if (history == histories_.end()) return;
  const PacketRow row = PacketRow::From(report, LocalNow());
  if (report.ReportReceived) {
    history->second->AddReceived(row);
    if (report.Id == selected_id_) logs_page_->AddReceived(row);
  } else {
    history->second->AddSent(row);
    if (report.Id == selected_id_) logs_page_->AddSent(row);
  }
}

void TFormMain::BeginRecording() { logs_page_->BeginBatch(); }

void TFormMain::EndRecording() { logs_page_->EndBatch(); }

ServiceControl TFormMain::MakeServiceControl() {
  return ServiceControl{*deps_.service_manager,       *deps_.files,
                        deps_.service_paths,          [this] { SaveSettings(); },
                        [this] { StopAllServers(); }, deps_.sleep};
}

void TFormMain::ServiceAction(const std::function<std::string(ServiceControl&)>& action) {
  if (!form_ready_) return;
  ServiceControl control = MakeServiceControl();
  const std::string result = action(control);
  if (!result.empty()) {
    MessageBoxes::Information(this, "Information", QString::fromStdString(result));
  }
}

}  // namespace corvane::desktop
