#pragma once

// The checksums a recovery set holds for its files and blocks: MD5
// (shardix::md5Of, Md5) and the CRC-32 of zip (shardix::crc32Update), both
// from the checksums library.
#include "engines/checksums/Crc32.h"
#include "engines/checksums/Md5.h"
