#include "AFXRunningApplication.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::number;
using platform::ValueClasses::string;

AFX_DEFINE_RECORD(AFXRunningApplication, AFXBaseModelObject, AFX_FIELD(localizedName, {string()}),
                  AFX_FIELD(bundleIdentifier, {string()}),
                  AFX_FIELD(bundleURL, {platform::ValueClasses::url()}), AFX_FIELD(version, {string()}),
                  AFX_FIELD(build, {string()}), AFX_FIELD(processIdentifier, {number()}))
