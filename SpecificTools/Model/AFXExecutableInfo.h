#pragma once

#include "AFXBaseMutableModelObject.h"

#include <QString>
#include <QStringList>

#include <memory>

// How to run a program of the desktop client's, such as its uninstaller.
class AFXExecutableInfo : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXExecutableInfo)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    static std::shared_ptr<AFXExecutableInfo> makeWithPath(const QString& path, const QStringList& arguments);

    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }
    QStringList arguments() const { return arguments_; }
    void setArguments(const QStringList& arguments) { arguments_ = arguments; }

private:
    AFXExecutableInfo() = default;

    QString path_;
    QStringList arguments_;
};
