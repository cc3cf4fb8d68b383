// Row types of the record database and the CMDR links' record sink.
// Plain structs, no ODBC: the links, the store and the browsers share them.
//
// Conventions:
//  - Text columns are 8-bit byte strings (the program's code page); the store
//    converts them to and from UTF-8 at the database edge. Widths count bytes;
//    leading and trailing blanks are significant and kept.
//  - LONG columns are 32-bit. Values that are really unsigned (flags, call
//    references, ipadr, ...) are held as uint32_t here and stored as their
//    signed 32-bit reinterpretation.
//  - COUNTER keys (sqno, RSno, TSno) are assigned by the database: 0 in a row
//    that has not been stored; never supplied on insert.
//  - DATE columns are DateTime (local time, no zone, whole seconds). A value
//    with year 0 stands for "no date" (stored as NULL).
//  - BIT columns are bool (stored 0/1).
#pragma once

#include "common/recording.h"
#include "lumarc/records/date_time.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumarc {

// Column widths (TEXT(n)) of the tables, in bytes.
namespace width {
inline constexpr size_t kType = 1, kPort = 8, kDigits = 32, kXid = 16;
inline constexpr size_t kName = 20, kSurname = 20, kDept = 16, kSect = 16, kTitle = 16, kComment = 32;
inline constexpr size_t kMonPort = 9, kMonData = 193, kMonXnam = 9;
inline constexpr size_t kRName = 8, kRDigits = 16, kRComment = 32;
inline constexpr size_t kVoiceDigits = 16, kVoiceFile = 1024 /* rcdfn VARCHAR(1024): full paths */, kVoiceExt = 8;
inline constexpr size_t kTName = 32, kTPort = 8, kTDgts = 16, kTDept = 16, kTSect = 16, kTLstr = 16;
}  // namespace width

// One CMDR record = one row of table Cdata, columns in table order. A
// cleared record has empty texts and zeros.
struct CmdrRecord {
  int32_t sqno = 0;       // COUNTER; 0 until stored
  std::string type;       // TEXT(1)  "A".."E"
  DateTime tdate;         // DATE
  uint32_t duration = 0;  // LONG     seconds (duration rule of the frame decoder)
  std::string cport;      // TEXT(8)  first port, 8 characters
  std::string pport;      // TEXT(8)  partner port
  std::string uport;      // TEXT(8)  used port
  std::string rdata;      // TEXT(32) digits 1
  std::string xdata;      // TEXT(32) digits 2
  std::string cdata;      // TEXT(32) digits 3
  uint32_t rpuls = 0;     // LONG     external charge pulses
  uint32_t ppuls = 0;     // LONG     internal charge pulses
  uint32_t crefa = 0;     // LONG     call reference a
  uint32_t crefb = 0;     // LONG     call reference b
  uint32_t crefc = 0;     // LONG     call reference c
  uint32_t flags = 0;     // LONG     flags (kind A)
  uint32_t flagt = 0;     // LONG     0 for downloaded records
  uint32_t flagu = 0;     // LONG     0 for downloaded records
  uint32_t ipadr = 0;     // LONG     exchange IPv4 address, host order (0 for IPv6)
  std::string Xid;        // TEXT(16) exchange id (empty for downloaded records)
};

// One user = one row of table Pdata.
struct UserRecord {
  int32_t sqno = 0;             // COUNTER
  std::string cport;            // TEXT(8)  the user's port, same form as Cdata.cport
  std::string name;             // TEXT(20)
  std::string surn;             // TEXT(20)
  std::string dept;             // TEXT(16)
  std::string sect;             // TEXT(16)
  std::string titl;             // TEXT(16)
  std::string cmnt;             // TEXT(32)
  uint32_t flag = 0;            // LONG
  uint32_t pra0 = 0, ppa0 = 0;  // LONG external / internal pulses, no star
  uint32_t pra1 = 0, ppa1 = 0;  // LONG star class 1
  uint32_t pra2 = 0, ppa2 = 0;  // LONG star class 2
  uint32_t pra3 = 0, ppa3 = 0;  // LONG star class 3 and more
  uint32_t prc = 0, ppc = 0;    // LONG further counters (users view)
  std::string Xid;              // TEXT(16)
  bool Slct = false;            // BIT
};
using PdataRow = UserRecord;

// One voice recording = one row of table Vdata00 (the layout the softphone
// shares: common/recording.h).
using VoiceRecord = corvane::Recording;
using Vdata00Row = VoiceRecord;

// One monitor record = one row of table Mdata. No rows are written.
struct MonitorRow {
  int32_t sqno = 0;    // COUNTER
  uint32_t type = 0;   // LONG
  uint32_t hpidx = 0;  // LONG
  uint32_t ptyp = 0;   // LONG
  uint32_t dir = 0;    // LONG
  DateTime tdate;      // DATE
  std::string cport;   // TEXT(9)
  std::string pport;   // TEXT(9)
  uint32_t ind = 0;    // LONG
  uint32_t datl = 0;   // LONG
  uint32_t dlen = 0;   // LONG
  std::string datb;    // TEXT(193)
  uint32_t dlps = 0;   // LONG
  std::string xnam;    // TEXT(9)
};
using MdataRow = MonitorRow;

// One dialled-digit or calling-number definition = one row of table Rout.
struct RouteRecord {
  int32_t RSno = 0;   // COUNTER
  int32_t RFlag = 0;  // LONG
  int32_t RType = 0;  // LONG
  std::string RName;  // TEXT(8)
  std::string RDgts;  // TEXT(16)
  std::string RCmnt;  // TEXT(32)
  bool Ackd = false;  // BIT
  bool Slct = false;  // BIT
};
using RoutRow = RouteRecord;

// One selection template = one row of table Tmpl03. LONG fields
// are signed here: invalid dates and times give -1 fields.
struct TemplateRecord {
  int32_t TSno = 0;     // COUNTER
  int32_t TFlag = 0;    // LONG
  int32_t TRect = 0;    // LONG
  std::string TName;    // TEXT(32)
  int32_t TDrtn = 0;    // LONG
  double TPrce = 0;     // FLOAT
  std::string TPunt;    // TEXT(8)
  std::string TUprt;    // TEXT(8)
  DateTime TStr;        // DATE
  DateTime TEnd;        // DATE
  DateTime TMid;        // DATE (time only; date part 1899-12-30, ignored)
  DateTime TMad;        // DATE (time only; date part 1899-12-30, ignored)
  std::string TDnam;    // TEXT(8)
  std::string TCnam;    // TEXT(8)
  int32_t TPmie = 0;    // LONG
  int32_t TPmae = 0;    // LONG
  int32_t TPmii = 0;    // LONG
  int32_t TPmai = 0;    // LONG
  int32_t TTlic = 0;    // LONG
  int32_t TTlog = 0;    // LONG
  int32_t TStar = 0;    // LONG
  int32_t TRpfm = 0;    // LONG
  int32_t TRplc = 0;    // LONG
  int32_t TAckf = 0;    // LONG
  int32_t TLtyp = 0;    // LONG
  int32_t Tuackd = 0;   // LONG
  double Tucamr = 0;    // FLOAT
  double Tucamp = 0;    // FLOAT
  std::string Tpuport;  // TEXT(8)
  std::string Tddgts;   // TEXT(16)
  std::string Tcdgts;   // TEXT(16)
  std::string Tdept;    // TEXT(16)
  std::string Tsect;    // TEXT(16)
  std::string TLstr;    // TEXT(16)
  uint32_t ipadr = 0;   // LONG
  int32_t vrdir = 0;    // LONG
};
using Tmpl03Row = TemplateRecord;

// One row of the older program's Cdata table ("Olvar.mdb", read by the
// import through DrptXset).
struct OlderCmdrRecord {
  int32_t sqno = 0;
  std::string type;
  DateTime tdate;
  uint32_t duration = 0;
  std::string cport, pport, uport;
  std::string rdata, xdata, cdata;
  uint32_t rpuls = 0;
  uint32_t ppuls = 0;
  uint32_t info = 0;  // 16-bit in the old table
  uint32_t cref = 0;  // 16-bit in the old table
  uint32_t dlps = 0;
  std::string xnam;
  uint32_t flags = 0;
};

// Result of storing one CMDR record.
struct StoreOutcome {
  enum class Status {
    Stored,     // a Cdata row was added
    Duplicate,  // type A record already in Cdata: nothing stored, nothing charged
    Failed,     // nothing stored, nothing charged (duplicate lookup or insert failed):
                // the caller appends the record's line to "fcmdr.txt"
  };
  Status status = Status::Failed;
  // Failed: the readable database error text. Stored: empty, or, when the
  // user's Pdata counters could not be updated (the Cdata row is kept), that
  // error text, which the caller shows in the message bar.
  std::string error;
  // The store has already shown the error itself (a lost server): the
  // caller need not show it again.
  bool shown = false;

  bool stored() const { return status == Status::Stored; }
  bool duplicate() const { return status == Status::Duplicate; }
  bool failed() const { return status == Status::Failed; }
  bool countersFailed() const { return status == Status::Stored && !error.empty(); }
};

// What the CMDR link depends on: it hands each decoded record to a sink.
// The ODBC record store implements it (lumarc/store/record_store.h); tests
// of the link can use a fake.
class CmdrRecordSink {
 public:
  virtual ~CmdrRecordSink() = default;
  virtual StoreOutcome store(const CmdrRecord& record) = 0;
  // The records of one receive pass, one outcome each. A store with
  // transactions stores them in one; this default stores them one by one.
  virtual std::vector<StoreOutcome> storePass(const std::vector<CmdrRecord>& records) {
    std::vector<StoreOutcome> out;
    out.reserve(records.size());
    for (const CmdrRecord& r : records) out.push_back(store(r));
    return out;
  }
};

// Star class of a record's flags (bits 21-24): 0, 1, 2, or 3 for 3 and more.
inline int starClass(uint32_t flags) {
  const uint32_t s = (flags >> 21) & 0xF;
  return s >= 3 ? 3 : static_cast<int>(s);
}

}  // namespace lumarc
