// The selected proxy server's counters, read a few times a second on the window thread: never a
// call per packet, whatever the engine threads do.
#include <utility>

#include "desktop/logs_page.h"
#include "desktop/tform_main.h"
#include "engine/proxy_counters.h"

namespace corvane::desktop {

QString TFormMain::CountersLine(std::uint32_t id) const {
  if (id != selected_id_) return {};
  const std::optional<CounterValues> values = threads_.Counters(id);
  return values ? QString::fromStdString(CountersText(*values)) : QString();
}

void TFormMain::ShowCounters() {
  const QString text = CountersLine(selected_id_);
  pages_->logs()->ShowCounters(text.isEmpty() ? "Counters: the proxy server is not running."
                                              : "Counters since the start: " + text);
  // The tooltip of the proxy server shown before loses its counters, the selected one's gets
  // the new ones.
  for (auto& [id, record] : records_) {
    if (record.counters != (id == selected_id_ ? text : QString()))
      ShowServerState(id, record.state);
  }
}

}  // namespace corvane::desktop
