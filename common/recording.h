// A voice recording as the exchange describes it and as the management
// program's voice database keeps it (one row of table Vdata00; the column
// types are the database's, see lumarc/records/records.h for their
// conventions). Shared by the management program and the softphone.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

struct Recording {
  int32_t sqno = 0;       // COUNTER
  std::string rcdport;    // TEXT(8)
  uint32_t rcddate = 0;   // LONG     recording date
  uint32_t rcdtime = 0;   // LONG     recording time of day
  std::string rcdtype;    // TEXT(1)
  uint32_t duration = 0;  // LONG
  std::string rcddsq;     // TEXT(16) dialled digits
  std::string rcdrcv;     // TEXT(16) receiving party digits
  std::string rcdcni;     // TEXT(16) calling number
  uint32_t cref = 0;      // LONG     call reference
  std::string Xid;        // TEXT(16)
  std::string rcdfn;      // VARCHAR(1024) file path without extension
  std::string rcdfx;      // TEXT(8)  "wav", "apc" or "mp3" (case as on disk)
  bool Drog = false;      // BIT
  bool Wavu = false;      // BIT      conversion to MP3 failed
  uint32_t ipadr = 0;     // LONG
};

}  // namespace corvane
