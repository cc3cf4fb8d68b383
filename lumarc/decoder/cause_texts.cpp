// The 128 cause texts shared by ISDN call control and ISUP, and the names of
// information element identifiers.
#include "lumarc/decoder/q931.h"

#include "lumarc/decoder/fields.h"

namespace lumarc {

namespace {

// clang-format off
constexpr auto kCauseTexts = numbered(
    "Reserved",  // 0
    "Unallocated Number",  // 1
    "No route to specified transit network",  // 2
    "No route to destination",  // 3
    "Send special information tone",  // 4
    "Misdialled trunk prefix",  // 5
    "Channel unacceptible",  // 6
    "Call awarded in an established channel",  // 7
    "Preemption",  // 8
    "Preemption-circuit reserved for reuse",  // 9
    "Reserved",  // 10
    "Reserved",  // 11
    "Reserved",  // 12
    "Reserved",  // 13
    "Reserved",  // 14
    "Reserved",  // 15
    "Normal call clearing",  // 16
    "User Busy",  // 17
    "No user responding",  // 18
    "No answer from User",  // 19
    "Subscriber absent",  // 20
    "Call rejected",  // 21
    "Number changed",  // 22
    "Redirection to new destination",  // 23
    "Reserved",  // 24
    "Exchange routing error",  // 25
    "Non selected user clearing",  // 26
    "Destination out of order",  // 27
    "Address incomplete",  // 28
    "Facility rejected",  // 29
    "Response to STATUS ENQUIRY",  // 30
    "Normal, unspecified",  // 31
    "Reserved",  // 32
    "Reserved",  // 33
    "No circuit/channel available",  // 34
    "Reserved",  // 35
    "Reserved",  // 36
    "Reserved",  // 37
    "Network out of order",  // 38
    "Permanent frame mode connection out of service",  // 39
    "Permanent frame mode connection operational",  // 40
    "Temporary failure",  // 41
    "Switching equipment congestion",  // 42
    "Access information discarded",  // 43
    "Requested circuit/channel not available",  // 44
    "Reserved",  // 45
    "Precedence call blocked",  // 46
    "Resources unavailable, unspecified",  // 47
    "Reserved",  // 48
    "Quality of service unavailable",  // 49
    "Requested facility not subscribed",  // 50
    "Reserved",  // 51
    "Reserved",  // 52
    "Outgoing call barred within CUG",  // 53
    "Reserved",  // 54
    "Incoming call barred within CUG",  // 55
    "Reserved",  // 56
    "Bearer capability not authorized",  // 57
    "Bearer capability not presently available",  // 58
    "Reserved",  // 59
    "Reserved",  // 60
    "Reserved",  // 61
    "Inconsistency in designated outgoing access information",  // 62
    "Service or option not available, unspecified",  // 63
    "Reserved",  // 64
    "Bearer capability not implemented",  // 65
    "Channel type not implemented",  // 66
    "Reserved",  // 67
    "Reserved",  // 68
    "Requested facility not implemented",  // 69
    "Only restricted digital info bearer capability available",  // 70
    "Reserved",  // 71
    "Reserved",  // 72
    "Reserved",  // 73
    "Reserved",  // 74
    "Reserved",  // 75
    "Reserved",  // 76
    "Reserved",  // 77
    "Reserved",  // 78
    "Service or option not implemented, unspecified",  // 79
    "Reserved",  // 80
    "Invalid call reference value",  // 81
    "Identified channel does not exist",  // 82
    "A suspended call exist, but this call identity does not",  // 83
    "Call identity in use",  // 84
    "No call suspended",  // 85
    "Call having the requested call identity has been cleared",  // 86
    "User not member of CUG",  // 87
    "Incompatible destination",  // 88
    "Reserved",  // 89
    "Non existing CUG",  // 90
    "Invalid transit network selection",  // 91
    "Reserved",  // 92
    "Reserved",  // 93
    "Reserved",  // 94
    "Invalid message, unspecified",  // 95
    "Mandatory information element missing",  // 96
    "Message type non existent",  // 97
    "Message type not compatible with call state",  // 98
    "Information element non existent",  // 99
    "Invalid information element contents",  // 100
    "Message not compatible with call state",  // 101
    "Recovery on timer expiry",  // 102
    "Parameter non existent or not implemented, passed on",  // 103
    "Reserved",  // 104
    "Reserved",  // 105
    "Reserved",  // 106
    "Reserved",  // 107
    "Reserved",  // 108
    "Reserved",  // 109
    "Message with unrecognized parameter discarded",  // 110
    "Protocol error, unspecified",  // 111
    "Reserved",  // 112
    "Reserved",  // 113
    "Reserved",  // 114
    "Reserved",  // 115
    "Reserved",  // 116
    "Reserved",  // 117
    "Reserved",  // 118
    "Reserved",  // 119
    "Reserved",  // 120
    "Reserved",  // 121
    "Reserved",  // 122
    "Reserved",  // 123
    "Reserved",  // 124
    "Reserved",  // 125
    "Reserved",  // 126
    "Interworking, unspecified"  // 127
);
// clang-format on

constexpr CodeText kElementNames[] = {
    {0x00, "Segmented Message"},
    {0x04, "Bearer Capability"},
    {0x08, "Cause"},
    {0x10, "Call Identity"},
    {0x14, "Call State"},
    {0x18, "Channel Identification"},
    {0x1C, "Facility"},
    {0x1E, "Progress Indicator"},
    {0x20, "Network Specific Facilities"},
    {0x27, "Notification Indicator"},
    {0x28, "Display"},
    {0x29, "Date and time"},
    {0x2C, "Keypad Facility"},
    {0x32, "Information Request"},
    {0x33, "Endpoint Identifier"},
    {0x34, "Signal"},
    {0x36, "Switch Hook"},
    {0x38, "Feature Activation"},
    {0x39, "Feature Indication"},
    {0x3A, "Service Profile Identification"},
    {0x40, "Information Rate"},
    {0x42, "End to End Transit Delay"},
    {0x43, "Transit Delay Selection and Indication"},
    {0x44, "Packet Layer Binary Parameters"},
    {0x45, "Packet Layer Window Size"},
    {0x46, "Packet Size"},
    {0x4C, "Connected Number"},
    {0x4D, "Connected Subaddress"},
    {0x6C, "Calling Party Number"},
    {0x6D, "Calling Party Subaddress"},
    {0x70, "Called Party Number"},
    {0x71, "Called Party Subaddress"},
    {0x74, "Redirecting Number"},
    {0x76, "Redirection Number"},
    {0x78, "Transit Network Selection"},
    {0x79, "Restart Indicator"},
    {0x7C, "Low Layer Compatibility"},
    {0x7D, "High Layer Compatibility"},
    {0x7E, "User-User"},
    {0x7F, "Escape for Extension"},
};

}  // namespace

std::string_view causeText(uint8_t value) { return lookup(kCauseTexts, value & 0x7F, "Reserved"); }

std::string_view elementName(uint8_t id) { return lookup(kElementNames, id, "Unknown Information Element"); }

}  // namespace lumarc
