#pragma once

#include "BRLogFormatter.h"

// "<prefix><yyyy/MM/dd HH:mm:ss:SSS>  <message>", ending with a newline.
class BRLogLineFormatter : public BRLogFormatter {
public:
    explicit BRLogLineFormatter(QString prefix) : prefix_(std::move(prefix)) {}

    // "<tag> " padded with spaces to at least 20 characters.
    static QString prefixForTag(const QString& tag);

    const QString& prefix() const { return prefix_; }
    QString formatLogMessage(const BRLogMessage& message) const override;

private:
    const QString prefix_;
};
