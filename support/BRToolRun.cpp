#include "BRToolRun.h"

#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <QStringDecoder>

using platform::Error;

std::optional<BRToolRun> BRToolRun::launch(const QString& systemPath, const QStringList& arguments,
                                           std::shared_ptr<platform::Pipe> standardInput, Error* error) {
    std::shared_ptr<platform::Pipe> standardError = platform::Pipe::make(error);
    if (!standardError) {
        return std::nullopt;
    }
    auto task = platform::Task::make();
    task->setLaunchPath(platform::Tools::path(systemPath));
    task->setArguments(arguments);
    const bool writesInput = standardInput != nullptr;
    if (writesInput) {
        task->setStandardInput(std::move(standardInput));
    }
    task->setStandardError(standardError);
    if (!task->launch(error)) {
        return std::nullopt;
    }
    if (writesInput) {
        // A tool that talks before it reads would otherwise fill its error
        // pipe and wait for us while we wait for it to take its input.
        standardError->readToEndOfFileInBackground();
    }
    return BRToolRun(std::move(task), std::move(standardError));
}

bool BRToolRun::finish(Error* error) {
    const QByteArray standardError = standardError_->readDataToEndOfFile();
    task_->waitUntilExit();
    if (task_->terminationReason() == platform::Task::TerminationReason::Exit &&
        task_->terminationStatus() == 0) {
        return true;
    }
    if (error) {
        platform::Value::Dictionary userInfo;
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder(standardError);
        if (!decoder.hasError()) {
            userInfo.insert(platform::NSLocalizedDescriptionKey, text);
        }
        *error = Error(platform::NSOSStatusErrorDomain, static_cast<std::int32_t>(task_->terminationStatus()),
                       userInfo);
    }
    return false;
}

void BRToolRun::terminate() {
    task_->terminate();
}
