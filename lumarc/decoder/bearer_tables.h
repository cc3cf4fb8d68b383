// Code tables of the bearer, low-layer and high-layer elements that ISDN call
// control and ISUP print with the same texts.
#pragma once

#include "lumarc/decoder/fields.h"

namespace lumarc::bearer_tables {

inline constexpr CodeText kLocation[] = {{0, "User"},
                                         // clang-format off
                                     {1, "Private net serving the local user"},
                                     {2, "Public net serving the local user"},
                                     {3, "Transit network"},
                                     {4, "Public net serving the remote user"},
                                     {5, "Private net serving the remote user"},
                                     {7, "International network"},
                                     {10, "Network beyond interworking point"}};
inline constexpr CodeText kTransferCapability[] = {{0x00, "Speech"},
                                               {0x08, "Unrestricted Digital Information"},
                                               {0x09, "Restricted Digital Information"},
                                               {0x10, "3.1 kHz audio"},
                                               {0x11, "7 kHz audio"},
                                               {0x18, "Video"}};
// clang-format on
inline constexpr CodeText kTransferMode[] = {{0, "Circuit mode"}, {2, "Packet mode"}};
inline constexpr CodeText kTransferRate[] = {{0x00, "Packet mode"}, {0x10, "64 kbit/s"},   {0x11, "2x64 kbit/s"},
                                             {0x13, "384 kbit/s"},  {0x15, "1536 kbit/s"}, {0x17, "1920 kbit/s"}};
inline constexpr CodeText kConfiguration[] = {{0, "Configuration point to point"}};
inline constexpr CodeText kEstablishment[] = {{0, "Demand establishmant"}};
inline constexpr CodeText kSymmetry[] = {{0, "Bidirectional symmetry"}};
inline constexpr CodeText kStructure[] = {
    {0, "Default Structure"}, {1, "8 kHz integrity"}, {4, "Service data unit integrity"}, {7, "Unstructured"}};
inline constexpr CodeText kLayer1[] = {{1, "CCITT standardized rate adaptation V.110/X.30"},
                                       // clang-format off
                                   {2, "Mu-law G.711"},
                                   {3, "A-law G.711"},
                                   {4, "32 kbit/s ADPCM G.721 and I.460"},
                                   {5, "7 kHz audio G.722 and G.725"},
                                   {6, "384 kbit/s video G.7xx"},
                                   {7, "Non-CCITT standardized rate adaptation"},
                                   {8, "CCITT standardized rate adaptation V.120"},
                                   {9, "CCITT standardized rate adaptation X.31"}};
inline constexpr CodeText kUserRate[] = {{0, "Rate is indicated by E bits"},
                                     {1, "0.6 kbit/s V.6 X.1"},
                                     {2, "1.2 kbit/s V.6"},
                                     {3, "2.4 kbit/s V.6 X.1"},
                                     {4, "3.6 kbit/s V.6"},
                                     {5, "4.8 kbit/s V.6 X.1"},
                                     {6, "7.2 kbit/s V.6"},
                                     {7, "8 kbit/s I.460"},
                                     {8, "9.6 kbit/s V.6 X.1"},
                                     {9, "14.4 kbit/s V.6"},
                                     {10, "16 kbit/s I.420"},
                                     {11, "19.2 kbit/s V.6"},
                                     {12, "32 kbit/s I.460"},
                                     {14, "48 kbit/s V.6 X.1"},
                                     {15, "56 kbit/s V.6"},
                                     {16, "64 kbit/s X.1"},
                                     {21, "0.1345 kbit/s X.1"},
                                     {22, "0.100 kbit/s X.1"},
                                     {23, "0.075/1.2 kbit/s V.6 X.1"},
                                     {24, "1.2/0.075 kbit/s V.6 X.1"},
                                     {25, "0.050 kbit/s V.6 X.1"},
                                     {26, "0.075 kbit/s V.6 X.1"},
                                     {27, "0.110 kbit/s V.6 X.1"},
                                     {28, "0.150 kbit/s V.6 X.1"},
                                     {29, "0.200 kbit/s V.6 X.1"},
                                     {30, "0.300 kbit/s V.6 X.1"},
                                     {31, "12 kbit/s V.6"}};
inline constexpr auto kIntermediateRate = numbered(
    "Intermediate rate not used", "Intermediate rate 8 Kbit/s", "Intermediate rate 16 Kbit/s",
    "Intermediate rate 32 Kbit/s");
inline constexpr auto kStopBits = numbered("Stop bits not used", "1 stop bit", "1.5 stop bits",
                                                         "2 stop bits");
inline constexpr auto kDataBits = numbered("Data bits not used", "5 data bits", "7 data bits",
                                                         "8 data bits");
inline constexpr CodeText kParity[] = {
    {0, "Odd parity"}, {2, "Even parity"}, {3, "No parity"}, {4, "Parity forced to 0"}, {5, "Parity forced to 1"}};
inline constexpr CodeText kModemType[] = {{1, "Modem type V.21"},      {2, "Modem type V.22"},  {3, "Modem type V.22 bis"},
                                      {4, "Modem type V.23"},      {5, "Modem type V.26"},  {6, "Modem type V.26 bis"},
                                      {7, "Modem type V.26 ter"},  {8, "Modem type V.27"},  {9, "Modem type V.27 bis"},
                                      {10, "Modem type V.27 ter"}, {11, "Modem type V.29"}, {12, "Modem type V.32"},
                                      {13, "Modem type V.35"}};
inline constexpr CodeText kLayer2[] = {{1, "Basic mode ISO 1745"},
                                   {2, "Recommendation Q.921"},
                                   {6, "Recommendation X.25 link level"},
                                   {7, "Recommendation X.25 multi link"},
                                   {8, "Extended LAPB for half duplex operation T.71"},
                                   {9, "HDLC ARM ISO 4335"},
                                   {10, "HDLC NRM ISO 4335"},
                                   {11, "HDLC ABM ISO 4335"},
                                   {12, "LAN logical link control ISO 8802/2"},
                                   {13, "Recommendation X.75 single link procedure SLP"}};
inline constexpr CodeText kLayer3[] = {{2, "Recommendation Q931"}, {6, "Recommendation X.25 packet layer"}};
inline constexpr CodeText kHighLayer[] = {{0x01, "Telephony"},
                                      {0x04, "Facsimile Group 2/3 F.182"},
                                      {0x21, "Facsimile Group 4 Class 1 F.184"},
                                      {0x24, "Teletex service basic and mixed mode F.184"},
                                      {0x28, "Teletex service basic and processable F.220"},
                                      {0x31, "Teletex service basic mode F.200"},
                                      {0x32, "Videotex F.300 and T.101"},
                                      {0x35, "Telex service F.60"},
                                      {0x38, "Message handling systems X.400"},
                                      {0x41, "OSI application X.200"},
                                      {0x5E, "Reserved for maintenance"},
                                      {0x5F, "Reserved for management"}};
inline constexpr CodeText kUserUserProtocol[] = {{0x00, "User specific protocol"},
                                             {0x01, "OSI high layer protocol"},
                                             {0x02, "X.244 protocol"},
                                             {0x03, "Reserved for system management"},
                                             {0x04, "IA5 characters"},
                                             {0x07, "Rate adaptation V.120"},
                                             {0x08, "User-network call control messages Q.931"},
                                             {0x40, "National use"},
                                             {0x41, "National use"},
                                             {0x42, "National use"},
                                             {0x43, "National use"}};
// clang-format on

}  // namespace lumarc::bearer_tables
