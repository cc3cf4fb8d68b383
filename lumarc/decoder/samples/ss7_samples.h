// A varied set of well-formed SS7 signal units (ISUP-heavy: call set-up and
// release with many parameters, circuit supervision; SCCP unitdata and
// connection messages; network management, link test, FISU and LSSU), for
// generated monitor records in tests, benchmarks and fuzz targets.
#pragma once

#include <cstdint>
#include <vector>

namespace lumarc {

// The message bytes of each sample unit (MTP2 header first, at most 96
// bytes each), to be decoded as kind 0xF5 or 0xF6.
const std::vector<std::vector<uint8_t>>& sampleSs7Units();

// An ISUP unit (SIO 0x85) with routing label dpc/opc/sls, circuit code cic,
// message type and the message content after the type octet.
std::vector<uint8_t> ss7IsupUnit(uint16_t dpc, uint16_t opc, uint8_t sls, uint16_t cic, uint8_t type,
                                 const std::vector<uint8_t>& content);

// An SCCP unit (SIO 0x83) with the given routing label and message bytes
// from the message type on.
std::vector<uint8_t> ss7SccpUnit(uint16_t dpc, uint16_t opc, uint8_t sls, const std::vector<uint8_t>& message);

}  // namespace lumarc
