#pragma once
// Item extraction: one ZIP item into a file, into a caller's stream, or only verified.
//
// The archive stream is positioned at the item's local header, the header is read, the
// stored bytes are bounded by a subset stream and, for an encrypted item, put behind a
// decrypting stream once a password passes the header check. The method picks the
// decoder; everything decoded passes through a counting wrapper whose CRC-32 is
// compared with the stored one. A file that fails in any way after it was created, a
// CRC mismatch included, is deleted, so that no damaged file is left behind.
//
// The three entry points are the item helpers the unzip component installs on every
// ZIP archive it opens.
#include <memory>
#include <string>

#include "archive/zip_archive.h"
#include "rtl/stream.h"

namespace qelvo::unzip {

// Writes the item to the file useName (replacing it), or creates the folder useName
// for a folder item, then applies the stored time and attributes.
void UnzipItemToFile(archive::TArcArchive* sender, archive::TArcArchiveItem* item, const std::string& useName);
// Appends the item's data to outStream (EArcBadStream when it is none).
void UnzipItemToStream(archive::TArcArchive* sender, archive::TArcArchiveItem* item, rtl::TStream* outStream);
// Checks the local header against the central one (EArcZipInvalidLFH) and decodes the
// whole item into a discarding stream, so that the CRC check runs.
void TestZipItem(archive::TArcArchive* sender, archive::TArcArchiveItem* item);

// The item's stored bytes, decrypted when the item is encrypted.
std::unique_ptr<rtl::TStream> OpenItemDataStream(archive::TArcZipArchive& archive, archive::TArcZipItem& item);

// Decodes inStream into outStream and answers whether the CRC-32 matched. An empty item
// writes nothing and always matches.
bool DecodeItemData(archive::TArcZipArchive& archive, archive::TArcZipItem& item, rtl::TStream& inStream,
                    rtl::TStream& outStream);
// DecodeItemData, then a mismatch is reported through the archive's
// OnProcessItemFailure (ptExtract, ecArchive, 19) or, without one, raised as
// EArcZipBadCRC.
void DecompressItemData(archive::TArcZipArchive& archive, archive::TArcZipItem& item, rtl::TStream& inStream,
                        rtl::TStream& outStream);

// Password plumbing of OpenItemDataStream. RequestPassword asks the archive's
// OnNeedPassword: a non-empty answer becomes the password, an empty one sets abort.
void RequestPassword(archive::TArcZipArchive& archive, bool& abort);
// Asks once when the archive has no password (counting a try); still none raises
// EArcZipInvalidPassword.
void EnsurePassword(archive::TArcZipArchive& archive, int& tries, bool& abort);

}  // namespace qelvo::unzip
