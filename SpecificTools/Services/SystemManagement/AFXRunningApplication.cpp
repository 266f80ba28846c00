#include "AFXRunningApplication.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::number;
using platform::ValueClasses::string;
using platform::ValueClasses::url;

AFX_DEFINE_RECORD(AFXRunningApplication, AFXBaseMutableModelObject, AFX_FIELD(localizedName, {string()}),
                  AFX_FIELD(bundleIdentifier, {string()}), AFX_FIELD(bundleURL, {url()}),
                  AFX_FIELD(version, {string()}), AFX_FIELD(build, {string()}),
                  AFX_FIELD(processIdentifier, {number()}))
