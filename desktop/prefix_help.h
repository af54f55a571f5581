// What a network prefix means where it stands: the help texts of the "?" buttons beside the
// prefix edits. A sender filter's prefix selects a range of senders; a destination's prefix
// selects the broadcast address to send to.
#pragma once

#include <QString>
#include <QWidget>

namespace corvane::desktop {

QString SenderPrefixHelpText();
QString DestinationPrefixHelpText();

// The handlers: a modal information box "Information" with the text.
void SpeedButtonHelpPrefixClick(QWidget* parent);
void SpeedButtonHelpPrefix2Click(QWidget* parent);

}  // namespace corvane::desktop
