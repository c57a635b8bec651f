#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>

struct AlertSettings;

// One alert handed to the owner's mail server or webhook through libcurl, certificates always
// verified: the desk's sender and the group's watch send the same way. Each returns why the
// transfer failed, empty when it went; `stopping` ends a transfer under way; a server that
// never answers is given up after `seconds`.
namespace alertDelivery {

// `mail` (AlertMessage::mail) to `To` through `Smtp`: TLS from the start (smtps://) or after
// STARTTLS, which is required (smtp://).
QString sendMail(const AlertSettings& settings, const QByteArray& mail, int seconds,
                 const std::atomic<bool>& stopping);
// `json` (AlertMessage::json) posted to `Webhook`; any answer but 2xx is a failure.
QString post(const AlertSettings& settings, const QByteArray& json, int seconds,
             const std::atomic<bool>& stopping);

}  // namespace alertDelivery
