// The simulated platform's CoreFoundation objects and the relative timed wait:
// reference counts, containers holding their values, number conversions as
// the HID backend reads them, UUIDs, and the time-out code of the wait.

#include <CoreFoundation/CoreFoundation.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace
{
TEST (CoreFoundation, ContainersRetainWhatTheyHoldAndReleaseItWhenTheyLetGo)
{
    CFStringRef value = CFStringCreateWithCString (kCFAllocatorDefault, "abc", kCFStringEncodingUTF8);
    CFStringRef other = CFStringCreateWithCString (kCFAllocatorDefault, "def", kCFStringEncodingUTF8);
    ASSERT_EQ (CFGetRetainCount (value), 1);
    EXPECT_EQ (CFRetain (value), value);
    EXPECT_EQ (CFGetRetainCount (value), 2);
    CFRelease (value);

    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable (
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue (dictionary, CFSTR ("key"), value);
    EXPECT_EQ (CFGetRetainCount (value), 2);
    CFDictionarySetValue (dictionary, CFSTR ("key"), other); // the replaced value is let go
    EXPECT_EQ (CFGetRetainCount (value), 1);
    EXPECT_EQ (CFGetRetainCount (other), 2);

    CFMutableArrayRef array = CFArrayCreateMutable (kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue (array, value);
    EXPECT_EQ (CFGetRetainCount (value), 2);
    CFRelease (array);
    EXPECT_EQ (CFGetRetainCount (value), 1);

    CFRelease (dictionary);
    EXPECT_EQ (CFGetRetainCount (other), 1);
    CFRelease (value);
    CFRelease (other);
}

TEST (CoreFoundation, DictionariesFindKeysByEqualityNotIdentity)
{
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable (
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key = CFStringCreateWithCString (kCFAllocatorDefault, "VendorID", kCFStringEncodingUTF8);
    const SInt32 vendor = 0x7A3C;
    CFNumberRef number = CFNumberCreate (kCFAllocatorDefault, kCFNumberSInt32Type, &vendor);
    CFDictionarySetValue (dictionary, key, number);

    EXPECT_EQ (CFDictionaryGetValue (dictionary, CFSTR ("VendorID")), number);
    EXPECT_EQ (CFDictionaryGetValue (dictionary, CFSTR ("ProductID")), nullptr);
    EXPECT_TRUE (CFEqual (key, CFSTR ("VendorID")));
    EXPECT_EQ (CFGetTypeID (CFDictionaryGetValue (dictionary, key)), CFNumberGetTypeID());

    CFDictionaryAddValue (dictionary, CFSTR ("VendorID"), CFSTR ("ignored")); // Add keeps what is there
    EXPECT_EQ (CFDictionaryGetValue (dictionary, key), number);
    EXPECT_EQ (CFDictionaryGetCount (dictionary), 1);

    CFDictionaryRemoveValue (dictionary, CFSTR ("VendorID"));
    EXPECT_EQ (CFDictionaryGetCount (dictionary), 0);
    EXPECT_EQ (CFGetRetainCount (number), 1);
    EXPECT_EQ (CFGetRetainCount (key), 1);

    CFRelease (dictionary);
    CFRelease (number);
    CFRelease (key);
}

TEST (CoreFoundation, ConstantStringsAndUuidsAreOneImmortalObjectPerValue)
{
    EXPECT_EQ (CFSTR ("Size"), CFSTR ("Size"));
    CFRelease (CFSTR ("Size")); // does nothing to a constant
    EXPECT_EQ (CFStringGetLength (CFSTR ("Size")), 4);

    char buffer[5];
    EXPECT_TRUE (CFStringGetCString (CFSTR ("Size"), buffer, sizeof (buffer), kCFStringEncodingUTF8));
    EXPECT_STREQ (buffer, "Size");
    EXPECT_FALSE (CFStringGetCString (CFSTR ("Sizes"), buffer, sizeof (buffer), kCFStringEncodingUTF8));

    CFUUIDRef a = CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0x78, 0xBD, 0x42, 0x0C, 0x6F, 0x14,
                                                  0x11, 0xD4, 0x94, 0x74, 0x00, 0x05, 0x02, 0x8F, 0x18, 0xD5);
    CFUUIDRef b = CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0x78, 0xBD, 0x42, 0x0C, 0x6F, 0x14,
                                                  0x11, 0xD4, 0x94, 0x74, 0x00, 0x05, 0x02, 0x8F, 0x18, 0xD5);
    EXPECT_EQ (a, b);

    const CFUUIDBytes bytes = CFUUIDGetUUIDBytes (a);
    EXPECT_EQ (bytes.byte0, 0x78);
    EXPECT_EQ (bytes.byte15, 0xD5);
    CFUUIDRef copy = CFUUIDCreateFromUUIDBytes (kCFAllocatorDefault, bytes);
    EXPECT_NE (copy, a);
    EXPECT_TRUE (CFEqual (copy, a));
    CFRelease (copy);
}

struct NumberCase
{
    const char* name;
    CFNumberType created;
    double value;
    CFNumberType read;
    size_t bytesWritten;
    double expected;
    bool lossless;
};

/** gtest prints a case by its name, not by its bytes. */
void PrintTo (const NumberCase& c, std::ostream* os)
{
    *os << c.name;
}

class NumberConversion : public testing::TestWithParam<NumberCase>
{
};

TEST_P (NumberConversion, StoresTheConvertedValueInExactlyItsSize)
{
    const auto& c = GetParam();
    CFNumberRef number = nullptr;
    if (c.created == kCFNumberFloat64Type)
    {
        number = CFNumberCreate (kCFAllocatorDefault, c.created, &c.value);
    }
    else
    {
        const auto whole = (SInt64) c.value;
        number = CFNumberCreate (kCFAllocatorDefault, kCFNumberSInt64Type, &whole);
    }

    unsigned char out[16];
    std::memset (out, 0xAA, sizeof (out));
    EXPECT_EQ ((bool) CFNumberGetValue (number, c.read, out), c.lossless);
    for (size_t i = c.bytesWritten; i < sizeof (out); ++i)
        EXPECT_EQ (out[i], 0xAA) << "byte " << i << " written";

    double got = 0;
    switch (c.bytesWritten)
    {
        case 1:
            got = (SInt8) out[0];
            break;
        case 4:
        {
            SInt32 v;
            std::memcpy (&v, out, 4);
            got = v;
            break;
        }
        default:
        {
            if (c.read == kCFNumberFloat64Type)
            {
                double v;
                std::memcpy (&v, out, 8);
                got = v;
            }
            else
            {
                SInt64 v;
                std::memcpy (&v, out, 8);
                got = (double) v;
            }
        }
    }
    if (c.lossless) // what a lossy conversion leaves is unspecified
    {
        EXPECT_EQ (got, c.expected);
    }
    CFRelease (number);
}

INSTANTIATE_TEST_SUITE_P (
    CoreFoundation, NumberConversion,
    testing::Values (
        NumberCase{ "SInt32Exact", kCFNumberSInt64Type, 256, kCFNumberSInt32Type, 4, 256, true },
        NumberCase{ "LongIsTheNativeLong", kCFNumberSInt64Type, -1099511627776.0, kCFNumberLongType,
                    sizeof (long), -1099511627776.0, true },
        NumberCase{ "LongTooBig", kCFNumberFloat64Type, 1e30, kCFNumberLongType, sizeof (long), 0, false },
        NumberCase{ "NarrowedToSInt8", kCFNumberSInt64Type, 300, kCFNumberSInt8Type, 1, 0, false },
        NumberCase{ "SInt64", kCFNumberSInt64Type, 1099511627776.0, kCFNumberSInt64Type, 8, 1099511627776.0,
                    true },
        NumberCase{ "FractionDropped", kCFNumberFloat64Type, 2.5, kCFNumberSInt32Type, 4, 0, false },
        NumberCase{ "WholeDouble", kCFNumberFloat64Type, 3.0, kCFNumberSInt32Type, 4, 3, true },
        NumberCase{ "IntegerToDouble", kCFNumberSInt64Type, 7, kCFNumberFloat64Type, 8, 7, true }),
    [] (const testing::TestParamInfo<NumberCase>& info) { return std::string (info.param.name); });

TEST (CoreFoundationDeathTest, MisuseStopsTheProgramAsOnAMac)
{
    CFArrayRef empty = CFArrayCreate (kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks);
    EXPECT_DEATH (CFArrayGetValueAtIndex (empty, 0), "out of bounds");
    EXPECT_DEATH (CFRelease (nullptr), "NULL");
    CFRelease (empty);
}

//==============================================================================
struct Waiting
{
    Waiting()
    {
        pthread_mutex_init (&mutex, nullptr);
        pthread_cond_init (&cond, nullptr);
    }

    ~Waiting()
    {
        pthread_cond_destroy (&cond);
        pthread_mutex_destroy (&mutex);
    }

    pthread_mutex_t mutex;
    pthread_cond_t cond;
};

TEST (RelativeTimedWait, TimesOutWithTheMacCodeAfterTheRelativeTime)
{
    Waiting w;
    const timespec relative{ 0, 30 * 1000 * 1000 };
    pthread_mutex_lock (&w.mutex);
    const auto start = std::chrono::steady_clock::now();
    const int result = pthread_cond_timedwait_relative_np (&w.cond, &w.mutex, &relative);
    const auto waited = std::chrono::steady_clock::now() - start;
    pthread_mutex_unlock (&w.mutex);

    EXPECT_EQ (result, 60);
    EXPECT_GE (waited, std::chrono::milliseconds (25));
}

TEST (RelativeTimedWait, ReturnsZeroWhenSignalledAndRejectsABadTime)
{
    Waiting w;
    bool flag = false;
    std::thread signaller (
        [&w, &flag]
        {
            pthread_mutex_lock (&w.mutex);
            flag = true;
            pthread_mutex_unlock (&w.mutex);
            pthread_cond_signal (&w.cond);
        });

    const timespec relative{ 5, 0 };
    int result = 0;
    pthread_mutex_lock (&w.mutex);
    while (!flag && result == 0)
        result = pthread_cond_timedwait_relative_np (&w.cond, &w.mutex, &relative);
    const timespec bad{ 0, 1000000000L };
    const int badResult = pthread_cond_timedwait_relative_np (&w.cond, &w.mutex, &bad);
    pthread_mutex_unlock (&w.mutex);
    signaller.join();

    EXPECT_EQ (result, 0);
    EXPECT_TRUE (flag);
    EXPECT_EQ (badResult, EINVAL);
}
} // namespace
