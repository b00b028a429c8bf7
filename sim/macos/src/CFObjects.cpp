// CoreFoundation's objects for the simulated macOS platform: reference
// counting, strings, numbers, dictionaries, arrays and UUIDs.

#include "CFInternal.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace simcf
{
Object::Object (CFTypeID typeToUse)
    : type (typeToUse)
{
}

Object::~Object() = default;

void fatal (const char* caller, const char* what)
{
    std::fprintf (stderr, "CoreFoundation: %s: %s\n", caller, what);
    std::abort();
}

Object* toObject (CFTypeRef cf, const char* caller)
{
    if (cf == nullptr)
        fatal (caller, "NULL object");
    return static_cast<Object*> (const_cast<void*> (cf));
}
} // namespace simcf

using simcf::as;
using simcf::fatal;
using simcf::Object;

struct __CFString final : Object
{
    explicit __CFString (std::string textToUse)
        : Object (simcf::stringType)
        , text (std::move (textToUse))
    {
    }

    bool equals (const Object& other) const override
    {
        return other.type == type && static_cast<const __CFString&> (other).text == text;
    }

    CFHashCode hash() const override { return std::hash<std::string>() (text); }

    const std::string text;
};

struct __CFNumber final : Object
{
    __CFNumber()
        : Object (simcf::numberType)
    {
    }

    bool equals (const Object& other) const override
    {
        if (other.type != type)
            return false;
        auto& o = static_cast<const __CFNumber&> (other);
        if (isFloat || o.isFloat)
            return asDouble() == o.asDouble();
        return integer == o.integer;
    }

    CFHashCode hash() const override { return isFloat ? std::hash<double>() (real) : (CFHashCode) integer; }

    double asDouble() const { return isFloat ? real : (double) integer; }

    CFNumberType created = kCFNumberSInt32Type;
    bool isFloat = false;
    std::int64_t integer = 0;
    double real = 0.0;
};

struct __CFDictionary final : Object
{
    __CFDictionary (bool isMutable, const CFDictionaryKeyCallBacks* keys,
                    const CFDictionaryValueCallBacks* values)
        : Object (simcf::dictionaryType)
        , mutableDictionary (isMutable)
        , keyCallBacks (keys != nullptr ? *keys : CFDictionaryKeyCallBacks{})
        , valueCallBacks (values != nullptr ? *values : CFDictionaryValueCallBacks{})
    {
    }

    ~__CFDictionary() override
    {
        for (auto& [key, value] : entries)
        {
            releaseValue (value);
            releaseKey (key);
        }
    }

    bool equals (const Object& other) const override
    {
        if (other.type != type)
            return false;
        auto& o = static_cast<const __CFDictionary&> (other);
        if (o.entries.size() != entries.size())
            return false;
        for (auto& [key, value] : entries)
        {
            const auto* found = o.find (key);
            if (found == nullptr || !valuesEqual (value, found->second))
                return false;
        }
        return true;
    }

    const std::pair<const void*, const void*>* find (const void* key) const
    {
        for (auto& entry : entries)
            if (keysEqual (entry.first, key))
                return &entry;
        return nullptr;
    }

    bool keysEqual (const void* a, const void* b) const
    {
        return a == b || (keyCallBacks.equal != nullptr && keyCallBacks.equal (a, b));
    }

    bool valuesEqual (const void* a, const void* b) const
    {
        return a == b || (valueCallBacks.equal != nullptr && valueCallBacks.equal (a, b));
    }

    const void* retainKey (const void* key) const
    {
        return keyCallBacks.retain != nullptr ? keyCallBacks.retain (nullptr, key) : key;
    }

    void releaseKey (const void* key) const
    {
        if (keyCallBacks.release != nullptr)
            keyCallBacks.release (nullptr, key);
    }

    const void* retainValue (const void* value) const
    {
        return valueCallBacks.retain != nullptr ? valueCallBacks.retain (nullptr, value) : value;
    }

    void releaseValue (const void* value) const
    {
        if (valueCallBacks.release != nullptr)
            valueCallBacks.release (nullptr, value);
    }

    /** Sets or adds; replace false keeps an existing value. */
    void put (const void* key, const void* value, bool replace)
    {
        for (auto& entry : entries)
        {
            if (keysEqual (entry.first, key))
            {
                if (replace)
                {
                    const void* old = entry.second;
                    entry.second = retainValue (value);
                    releaseValue (old);
                }
                return;
            }
        }
        entries.emplace_back (retainKey (key), retainValue (value));
    }

    const bool mutableDictionary;
    const CFDictionaryKeyCallBacks keyCallBacks;
    const CFDictionaryValueCallBacks valueCallBacks;
    std::vector<std::pair<const void*, const void*>> entries;
};

struct __CFArray final : Object
{
    __CFArray (bool isMutable, const CFArrayCallBacks* callBacksToUse)
        : Object (simcf::arrayType)
        , mutableArray (isMutable)
        , callBacks (callBacksToUse != nullptr ? *callBacksToUse : CFArrayCallBacks{})
    {
    }

    ~__CFArray() override
    {
        for (auto* value : values)
            if (callBacks.release != nullptr)
                callBacks.release (nullptr, value);
    }

    bool equals (const Object& other) const override
    {
        if (other.type != type)
            return false;
        auto& o = static_cast<const __CFArray&> (other);
        if (o.values.size() != values.size())
            return false;
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != o.values[i] &&
                (callBacks.equal == nullptr || !callBacks.equal (values[i], o.values[i])))
                return false;
        return true;
    }

    void append (const void* value)
    {
        values.push_back (callBacks.retain != nullptr ? callBacks.retain (nullptr, value) : value);
    }

    const bool mutableArray;
    const CFArrayCallBacks callBacks;
    std::vector<const void*> values;
};

struct __CFUUID final : Object
{
    explicit __CFUUID (const CFUUIDBytes& bytesToUse)
        : Object (simcf::uuidType)
        , bytes (bytesToUse)
    {
    }

    bool equals (const Object& other) const override
    {
        return other.type == type &&
               std::memcmp (&static_cast<const __CFUUID&> (other).bytes, &bytes, 16) == 0;
    }

    CFHashCode hash() const override
    {
        CFHashCode h = 0;
        std::memcpy (&h, &bytes, sizeof (h));
        return h;
    }

    const CFUUIDBytes bytes;
};

namespace
{
/** The constants of one kind, made once and never destroyed, so that they
    outlive every user, threads that end late included. */
template <typename Key, typename Value>
struct ConstantTable
{
    std::mutex lock;
    std::map<Key, Value*> entries;
};

template <typename Key, typename Value, typename Make>
Value* constant (ConstantTable<Key, Value>& table, const Key& key, Make make)
{
    std::lock_guard<std::mutex> guard (table.lock);
    auto& slot = table.entries[key];
    if (slot == nullptr)
    {
        slot = make();
        slot->immortal = true;
    }
    return slot;
}

const void* retainCallBack (CFAllocatorRef, const void* value)
{
    return CFRetain (value);
}

void releaseCallBack (CFAllocatorRef, const void* value)
{
    CFRelease (value);
}

Boolean equalCallBack (const void* a, const void* b)
{
    return CFEqual (a, b);
}

CFHashCode hashCallBack (const void* value)
{
    return CFHash (value);
}

template <typename T>
bool storeInteger (const __CFNumber& n, void* out)
{
    constexpr auto lo = (double) std::numeric_limits<T>::min();
    constexpr auto hi = (double) std::numeric_limits<T>::max();
    if (n.isFloat)
    {
        const double whole = std::trunc (n.real);
        // hi + 1 is a power of two and exact, unlike hi itself for 64 bits.
        const bool fits = std::isfinite (whole) && whole >= lo && whole < hi + 1.0;
        const T value =
            fits ? (T) whole : (whole < 0 ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max());
        std::memcpy (out, &value, sizeof (T));
        return fits && whole == n.real;
    }
    const bool fits = n.integer >= (std::int64_t) std::numeric_limits<T>::min() &&
                      n.integer <= (std::int64_t) std::numeric_limits<T>::max();
    const T value = (T) n.integer;
    std::memcpy (out, &value, sizeof (T));
    return fits;
}

template <typename T>
bool storeReal (const __CFNumber& n, void* out)
{
    const T value = (T) n.asDouble();
    std::memcpy (out, &value, sizeof (T));
    if (n.isFloat)
        return (double) value == n.real || std::isnan (n.real);
    const double back = (double) value;
    return back >= -9223372036854775808.0 && back < 9223372036854775808.0 && (std::int64_t) back == n.integer;
}

template <typename T>
void loadInteger (__CFNumber& n, const void* in)
{
    T value;
    std::memcpy (&value, in, sizeof (T));
    n.integer = (std::int64_t) value;
}

template <typename T>
void loadReal (__CFNumber& n, const void* in)
{
    T value;
    std::memcpy (&value, in, sizeof (T));
    n.isFloat = true;
    n.real = (double) value;
}
} // namespace

std::string simcf::textOf (CFStringRef string)
{
    return as<const __CFString> (string, stringType, "CFString")->text;
}

// The functions keep the C linkage of their declarations.
const CFAllocatorRef kCFAllocatorDefault = nullptr;

CFTypeRef CFRetain (CFTypeRef cf)
{
    Object* object = simcf::toObject (cf, "CFRetain");
    if (!object->immortal)
        object->references.fetch_add (1, std::memory_order_relaxed);
    return cf;
}

void CFRelease (CFTypeRef cf)
{
    Object* object = simcf::toObject (cf, "CFRelease");
    if (object->immortal)
        return;
    const long before = object->references.fetch_sub (1, std::memory_order_acq_rel);
    if (before <= 0)
        fatal ("CFRelease", "object released once too often");
    if (before == 1)
        delete object;
}

CFIndex CFGetRetainCount (CFTypeRef cf)
{
    Object* object = simcf::toObject (cf, "CFGetRetainCount");
    return object->immortal ? std::numeric_limits<CFIndex>::max() : object->references.load();
}

CFTypeID CFGetTypeID (CFTypeRef cf)
{
    return simcf::toObject (cf, "CFGetTypeID")->type;
}

Boolean CFEqual (CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2)
        return simcf::toObject (cf1, "CFEqual") != nullptr;
    return simcf::toObject (cf1, "CFEqual")->equals (*simcf::toObject (cf2, "CFEqual"));
}

CFHashCode CFHash (CFTypeRef cf)
{
    return simcf::toObject (cf, "CFHash")->hash();
}

//==============================================================================
CFTypeID CFStringGetTypeID (void)
{
    return simcf::stringType;
}

CFStringRef CFStringCreateWithCString (CFAllocatorRef, const char* cStr, CFStringEncoding)
{
    if (cStr == nullptr)
        return nullptr;
    return new __CFString (cStr);
}

Boolean CFStringGetCString (CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding)
{
    const auto& text = as<const __CFString> (theString, simcf::stringType, "CFStringGetCString")->text;
    if (buffer == nullptr || bufferSize <= 0 || (CFIndex) text.size() + 1 > bufferSize)
        return false;
    std::memcpy (buffer, text.c_str(), text.size() + 1);
    return true;
}

const char* CFStringGetCStringPtr (CFStringRef theString, CFStringEncoding)
{
    return as<const __CFString> (theString, simcf::stringType, "CFStringGetCStringPtr")->text.c_str();
}

CFIndex CFStringGetLength (CFStringRef theString)
{
    return (CFIndex) as<const __CFString> (theString, simcf::stringType, "CFStringGetLength")->text.size();
}

CFStringRef __CFStringMakeConstantString (const char* cStr)
{
    static auto* table = new ConstantTable<std::string, __CFString>();
    return constant (*table, std::string (cStr), [cStr] { return new __CFString (cStr); });
}

//==============================================================================
CFTypeID CFNumberGetTypeID (void)
{
    return simcf::numberType;
}

CFNumberRef CFNumberCreate (CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
    if (valuePtr == nullptr)
        fatal ("CFNumberCreate", "NULL value");
    auto* n = new __CFNumber();
    n->created = theType;
    switch (theType)
    {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            loadInteger<std::int8_t> (*n, valuePtr);
            break;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            loadInteger<std::int16_t> (*n, valuePtr);
            break;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            loadInteger<std::int32_t> (*n, valuePtr);
            break;
        case kCFNumberLongType:
            loadInteger<long> (*n, valuePtr);
            break;
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType:
            loadInteger<std::int64_t> (*n, valuePtr);
            break;
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            loadReal<float> (*n, valuePtr);
            break;
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            loadReal<double> (*n, valuePtr);
            break;
        default:
            delete n;
            fatal ("CFNumberCreate", "unknown number type");
    }
    return n;
}

CFNumberType CFNumberGetType (CFNumberRef number)
{
    return as<const __CFNumber> (number, simcf::numberType, "CFNumberGetType")->created;
}

Boolean CFNumberGetValue (CFNumberRef number, CFNumberType theType, void* valuePtr)
{
    const auto& n = *as<const __CFNumber> (number, simcf::numberType, "CFNumberGetValue");
    if (valuePtr == nullptr)
        fatal ("CFNumberGetValue", "NULL destination");
    switch (theType)
    {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            return storeInteger<std::int8_t> (n, valuePtr);
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            return storeInteger<std::int16_t> (n, valuePtr);
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return storeInteger<std::int32_t> (n, valuePtr);
        case kCFNumberLongType:
            return storeInteger<long> (n, valuePtr);
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType:
            return storeInteger<std::int64_t> (n, valuePtr);
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            return storeReal<float> (n, valuePtr);
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            return storeReal<double> (n, valuePtr);
        default:
            fatal ("CFNumberGetValue", "unknown number type");
    }
}

//==============================================================================
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = { 0,       retainCallBack, releaseCallBack,
                                                                 nullptr, equalCallBack,  hashCallBack };
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = kCFTypeDictionaryKeyCallBacks;
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = { 0, retainCallBack, releaseCallBack,
                                                                     nullptr, equalCallBack };

CFTypeID CFDictionaryGetTypeID (void)
{
    return simcf::dictionaryType;
}

CFDictionaryRef CFDictionaryCreate (CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                    const CFDictionaryKeyCallBacks* keyCallBacks,
                                    const CFDictionaryValueCallBacks* valueCallBacks)
{
    auto* d = new __CFDictionary (false, keyCallBacks, valueCallBacks);
    for (CFIndex i = 0; i < numValues; ++i)
        d->put (keys[i], values[i], true);
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutable (CFAllocatorRef, CFIndex,
                                                  const CFDictionaryKeyCallBacks* keyCallBacks,
                                                  const CFDictionaryValueCallBacks* valueCallBacks)
{
    return new __CFDictionary (true, keyCallBacks, valueCallBacks);
}

CFIndex CFDictionaryGetCount (CFDictionaryRef theDict)
{
    return (CFIndex) as<const __CFDictionary> (theDict, simcf::dictionaryType, "CFDictionaryGetCount")
        ->entries.size();
}

const void* CFDictionaryGetValue (CFDictionaryRef theDict, const void* key)
{
    const auto* found =
        as<const __CFDictionary> (theDict, simcf::dictionaryType, "CFDictionaryGetValue")->find (key);
    return found != nullptr ? found->second : nullptr;
}

Boolean CFDictionaryGetValueIfPresent (CFDictionaryRef theDict, const void* key, const void** value)
{
    const auto* found =
        as<const __CFDictionary> (theDict, simcf::dictionaryType, "CFDictionaryGetValueIfPresent")
            ->find (key);
    if (found != nullptr && value != nullptr)
        *value = found->second;
    return found != nullptr;
}

Boolean CFDictionaryContainsKey (CFDictionaryRef theDict, const void* key)
{
    return as<const __CFDictionary> (theDict, simcf::dictionaryType, "CFDictionaryContainsKey")->find (key) !=
           nullptr;
}

void CFDictionaryGetKeysAndValues (CFDictionaryRef theDict, const void** keys, const void** values)
{
    const auto& entries =
        as<const __CFDictionary> (theDict, simcf::dictionaryType, "CFDictionaryGetKeysAndValues")->entries;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        if (keys != nullptr)
            keys[i] = entries[i].first;
        if (values != nullptr)
            values[i] = entries[i].second;
    }
}

static __CFDictionary* mutableDictionary (CFMutableDictionaryRef theDict, const char* caller)
{
    auto* d = as<__CFDictionary> (theDict, simcf::dictionaryType, caller);
    if (!d->mutableDictionary)
        fatal (caller, "the dictionary is immutable");
    return d;
}

void CFDictionarySetValue (CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    mutableDictionary (theDict, "CFDictionarySetValue")->put (key, value, true);
}

void CFDictionaryAddValue (CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    mutableDictionary (theDict, "CFDictionaryAddValue")->put (key, value, false);
}

void CFDictionaryRemoveValue (CFMutableDictionaryRef theDict, const void* key)
{
    auto* d = mutableDictionary (theDict, "CFDictionaryRemoveValue");
    for (auto it = d->entries.begin(); it != d->entries.end(); ++it)
    {
        if (d->keysEqual (it->first, key))
        {
            const auto entry = *it;
            d->entries.erase (it);
            d->releaseValue (entry.second);
            d->releaseKey (entry.first);
            return;
        }
    }
}

//==============================================================================
const CFArrayCallBacks kCFTypeArrayCallBacks = { 0, retainCallBack, releaseCallBack, nullptr, equalCallBack };

CFTypeID CFArrayGetTypeID (void)
{
    return simcf::arrayType;
}

CFArrayRef CFArrayCreate (CFAllocatorRef, const void** values, CFIndex numValues,
                          const CFArrayCallBacks* callBacks)
{
    auto* a = new __CFArray (false, callBacks);
    for (CFIndex i = 0; i < numValues; ++i)
        a->append (values[i]);
    return a;
}

CFMutableArrayRef CFArrayCreateMutable (CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    return new __CFArray (true, callBacks);
}

CFIndex CFArrayGetCount (CFArrayRef theArray)
{
    return (CFIndex) as<const __CFArray> (theArray, simcf::arrayType, "CFArrayGetCount")->values.size();
}

const void* CFArrayGetValueAtIndex (CFArrayRef theArray, CFIndex idx)
{
    const auto& values = as<const __CFArray> (theArray, simcf::arrayType, "CFArrayGetValueAtIndex")->values;
    if (idx < 0 || idx >= (CFIndex) values.size())
        fatal ("CFArrayGetValueAtIndex", "index out of bounds");
    return values[(size_t) idx];
}

void CFArrayAppendValue (CFMutableArrayRef theArray, const void* value)
{
    auto* a = as<__CFArray> (theArray, simcf::arrayType, "CFArrayAppendValue");
    if (!a->mutableArray)
        fatal ("CFArrayAppendValue", "the array is immutable");
    a->append (value);
}

//==============================================================================
CFTypeID CFUUIDGetTypeID (void)
{
    return simcf::uuidType;
}

CFUUIDRef CFUUIDGetConstantUUIDWithBytes (CFAllocatorRef, UInt8 byte0, UInt8 byte1, UInt8 byte2, UInt8 byte3,
                                          UInt8 byte4, UInt8 byte5, UInt8 byte6, UInt8 byte7, UInt8 byte8,
                                          UInt8 byte9, UInt8 byte10, UInt8 byte11, UInt8 byte12, UInt8 byte13,
                                          UInt8 byte14, UInt8 byte15)
{
    static auto* table = new ConstantTable<std::array<UInt8, 16>, __CFUUID>();
    const std::array<UInt8, 16> key = { byte0, byte1, byte2,  byte3,  byte4,  byte5,  byte6,  byte7,
                                        byte8, byte9, byte10, byte11, byte12, byte13, byte14, byte15 };
    return constant (*table, key,
                     [&key]
                     {
                         CFUUIDBytes bytes;
                         std::memcpy (&bytes, key.data(), 16);
                         return new __CFUUID (bytes);
                     });
}

CFUUIDRef CFUUIDCreateFromUUIDBytes (CFAllocatorRef, CFUUIDBytes bytes)
{
    return new __CFUUID (bytes);
}

CFUUIDBytes CFUUIDGetUUIDBytes (CFUUIDRef uuid)
{
    return as<const __CFUUID> (uuid, simcf::uuidType, "CFUUIDGetUUIDBytes")->bytes;
}
