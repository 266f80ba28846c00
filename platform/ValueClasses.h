#pragma once

#include "Class.h"

#include <QList>

namespace platform {

class Value;

// The classes of plain values, as archives name them and as lists of
// allowed classes mention them. All are subclasses of NSObject.
namespace ValueClasses {

const Class* null();       // "NSNull"
const Class* number();     // "NSNumber": booleans, integers and reals
const Class* string();     // "NSString"
const Class* data();       // "NSData"
const Class* date();       // "NSDate"
const Class* url();        // "NSURL"
const Class* uuid();       // "NSUUID"
const Class* array();      // "NSArray"
const Class* set();        // "NSSet"
const Class* dictionary(); // "NSDictionary"
const Class* error();      // "NSError"

// The classes of what a property list can hold: numbers, strings, data,
// dates, arrays and dictionaries.
QList<const Class*> propertyListClasses();
// The class of a value: its object's class for objects.
const Class* classOf(const Value& value);

} // namespace ValueClasses
} // namespace platform
