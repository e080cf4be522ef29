#include "payload/extraction.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "base/schedule_ticks.h"
#include "payload/payload_checksum.h"
#include "payload/resource_archive.h"
#include "system/files_in_use.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/log_reader.h"
#include "system/pending_messages.h"
#include "system/record_trust.h"
#include "system/restart_removal.h"

namespace {

ArchiveReader* ExtractReader;
unsigned DataTotal;
unsigned DataRemaining;
int EntryIndex;
char EntryName[PathCapacity];
unsigned EntryRemaining;
char EntryPath[PathCapacity];
FILE* EntryFile;
unsigned ArchivePosition;  // where ArchiveFile stands once the open entry is read whole
uint32_t EntryCrc;         // CRC-32 of the open entry's bytes so far
int EntryKept;             // the open entry is not written: the player changed its file
char WritingPath[PathCapacity];  // where the open entry is written until it is whole
char EnsuredFolder[PathCapacity];  // the folder of the entry before: free of links and there
int EnsuredFolderKnown;            // EnsuredFolder is set
int EntryFolderMade;               // this run made the open entry's folder
int TargetMade;                    // this run made the target folder
int DeepestFolderMade;             // CreateEntryFolders made the deepest level it walked

// What an earlier installation in the target folder wrote, by directory index: the CRC-32
// its CS record gives for the entry's file. Null when there is no earlier log.
struct EarlierSum {
  uint32_t Crc;
  int Known;
};
EarlierSum* EarlierSums;

// The pipeline's one message: an entry's folder cannot be made (or only through a link).
void ReportUncreatablePath() {
  if (!InstallState.Silent) MessageBoxA(nullptr, "Der von Ihnen angegebene Pfad konnte nicht angelegt werden.", ErrorCaption, MB_OK);
}

// Ends the archive's reading: on the last tick, or after a failure.
void EndExtraction() {
  CloseArchive();
  ExtractReader = nullptr;
  free(EarlierSums);
  EarlierSums = nullptr;
}

// Ends the extraction after a failure, letting go of what is open.
int FailExtraction(int code) {
  if (EntryFile) fclose(EntryFile);
  EntryFile = nullptr;
  EntryName[0] = 0;
  EndExtraction();
  if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = code;
  return 0;
}

// Reads the CS records of the earlier installation's log, kept aside for this run (its
// own, and those it carried over from the installations before it, later ones winning).
// 0 when that log cannot be read, or the room for its sums cannot be had: which files the
// player changed is then not known.
int LoadEarlierSums() {
  char log[PathCapacity];
  LogRecord record;
  ArchiveNameIndex index;
  if (!InstallState.LogKeptAside) return 1;
  FILE* file = KeptAsidePath(log, InstallState.LogPath) ? OpenLogForReading(log) : nullptr;
  if (!file) return 0;
  EarlierSums = (EarlierSum*)calloc(ExtractReader->EntryCount + 1, sizeof(EarlierSum));
  // Without the sums, or the index that finds their entries, a changed file would look
  // unchanged and be replaced.
  int read = EarlierSums && IndexArchiveNames(ExtractReader, &index);
  if (read) {
    uint32_t crc = 0;
    const char* name = nullptr;
    while (ReadNextLogRecord(file, &record)) {
      if (record.Kind != RecordChecksum || !DecodeChecksumRecord(record.Argument, &crc, &name)) continue;
      int entry = FindIndexedEntry(ExtractReader, &index, name);
      if (entry >= 0) EarlierSums[entry] = {crc, 1};
    }
    FreeArchiveNameIndex(&index);
  }
  return CloseLogRead(file) && read;
}

// 1 when the file at EntryPath is one the earlier installation wrote and that changed
// since: its CRC-32 is no longer the one that installation logged; -1 when it cannot be
// read to tell.
int ChangedSinceWritten() {
  if (!EarlierSums || !EarlierSums[EntryIndex].Known) return 0;
  DWORD attributes = GetFileAttributesA(EntryPath);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return 0;
  HANDLE file = CreateFileA(EntryPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  uint32_t crc = 0;
  DWORD read = 0;
  int whole = 1;
  while ((whole = ReadFile(file, InstallState.CopyBuffer, CopyBufferSize, &read, nullptr)) && read > 0)
    crc = Crc32Update(crc, InstallState.CopyBuffer, read);
  CloseHandle(file);
  return !whole ? -1 : crc != EarlierSums[EntryIndex].Crc;
}

// Before anything of the earlier installation is replaced: while a file the archive would
// replace, or its copy kept aside, is in use, the user is asked to close what holds it.
// 1 when none is held any more; 0 for "Abbrechen".
int NoEntryHeld() {
  char path[PathCapacity], held[PathCapacity];
  for (unsigned i = 0; i < ExtractReader->EntryCount; ++i) {
    if (!FormatBounded(path, sizeof path, "%s%s", InstallState.TargetFolder, ExtractReader->Directory[i].Name)) continue;
    while (FileOrAsideIsHeld(path, held))
      if (!AskToRetryHeldFile(held, SetupCaption, "Mit „Abbrechen“ wird die Installation abgebrochen.")) return 0;
  }
  return 1;
}

// The open entry's folder: free of links, and there, its missing levels made (their SD
// records first). Entries of one folder follow each other, so a folder is looked at only
// when it changes. A folder this run made holds nothing but this run's entries, whose
// names differ (checked when the stage begins): no name in it needs a lookup before it is used.
int PrepareEntryFolder() {
  const char* last = strrchr(EntryName, '\\');
  size_t length = last ? (size_t)(last - EntryName) : 0;
  if (EnsuredFolderKnown && strlen(EnsuredFolder) == length && !strncmp(EnsuredFolder, EntryName, length)) return 1;
  // Nothing is written through a link.
  if (!PathIsLinkFree(InstallState.TargetFolder, EntryName, 0)) {
    ReportUncreatablePath();
    return 0;
  }
  EntryFolderMade = TargetMade;
  if (length > 0) {
    // A folder that is there is left alone: walking its levels would make it the current
    // directory, which no rollback in this process could then remove.
    char folder[PathCapacity];
    CopyBounded(folder, sizeof folder, EntryPath);
    folder[strlen(InstallState.TargetFolder) + length] = 0;
    DWORD attributes = GetFileAttributesA(folder);
    DeepestFolderMade = 0;
    if ((attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) && !CreateEntryFolders(EntryPath))
      return 0;
    EntryFolderMade = DeepestFolderMade;
  }
  memcpy(EnsuredFolder, EntryName, length);
  EnsuredFolder[length] = 0;
  EnsuredFolderKnown = 1;
  return 1;
}

// Opens the entry at EntryIndex: its file under the writing name, and that name's NC.
int OpenNextEntry() {
  // Names are unique (checked when the stage begins), so the entry's own directory slot gives what a
  // lookup by its name would, without a scan of the directory for every entry.
  const ArchiveEntry* entry = &ExtractReader->Directory[EntryIndex];
  CopyBounded(EntryName, sizeof EntryName, entry->Name);
  // The data lies in directory order, so the file is mostly there already: a seek would
  // only throw away what the stream has read ahead.
  if (entry->Offset != ArchivePosition) fseek(ExtractReader->ArchiveFile, (long)entry->Offset, SEEK_SET);
  ArchivePosition = entry->Offset + entry->Size;
  EntryRemaining = entry->Size;
  if (!FormatBounded(EntryPath, sizeof EntryPath, "%s%s", InstallState.TargetFolder, EntryName))
    return FailExtraction(FailureEntryCreate);
  EntryCrc = 0;
  EntryKept = 0;
  if (!PrepareEntryFolder()) return FailExtraction(FailureEntryFolder);
  // The player's changes to a file of the earlier installation stay: its data is read
  // past, and only the earlier installation's records, carried over, name the file.
  int changed = ChangedSinceWritten();
  if (changed < 0) return FailExtraction(FailureEntryCreate);
  if (changed) return EntryKept = 1;
  // The entry is written under a name of its own and takes the entry's name only once
  // whole: a file under the entry's name is never a part of it. Its folders come first
  // (their SD records before its NC), then what stood under its name is kept aside (KA),
  // so that the entry is always a new file, and NC goes before the file exists; the
  // undoing of NC takes the writing name too.
  if (!FormatBounded(WritingPath, sizeof WritingPath, "%s%s", EntryPath, WritingSuffix) ||
      (!EntryFolderMade && !KeepFileAside(EntryPath, 0)))
    return FailExtraction(FailureEntryCreate);
  if (!AppendLogRecord(RecordNewFile, EntryName)) return FailExtraction(FailureLogWrite);
  DWORD error = 0;
  EntryFile = CreateNewFile(WritingPath, "wb", &error);
  if (!EntryFile && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && KeepFileAside(WritingPath, 0))
    EntryFile = CreateNewFile(WritingPath, "wb", &error);
  if (!EntryFile) return FailExtraction(FailureEntryCreate);
  return 1;
}

// Gives the whole entry its name; CS follows with the CRC-32 of the bytes written.
int NameWholeEntry() {
  // Another program may have made a file under the name while the entry was written (in
  // a folder this run made, no name was looked up before): it is kept aside (KA after
  // the entry's NC), and the rollback puts it back.
  if (!MoveFileA(WritingPath, EntryPath) && (!KeepFileAside(EntryPath, 0) || !MoveFileA(WritingPath, EntryPath)))
    return FailExtraction(FailureEntryCreate);
  // No undoing needs CS (a log cut off before PN is undone whole): it reaches the disk
  // with the next entry's NC, or at the end of the stage.
  if (!AppendChecksumRecord(EntryCrc, EntryName)) return FailExtraction(FailureLogWrite);
  return 1;
}

}  // namespace

int BeginExtraction() {
  ExtractReader = nullptr;
  EntryFile = nullptr;
  EntryName[0] = 0;
  ArchiveReader* reader = OpenArchive(InstallState.ExpandedPayloadPath);
  // An archive outside the format's rules (sizes that do not add up, a directory
  // larger than the file, unsafe or duplicate names) is refused before anything is written.
  if (!reader || !ArchiveIsWellFormed(reader, InstallState.ExpandedSize)) {
    if (reader) CloseArchive();
    return FailWith(FailureArchiveOpen);
  }
  ExtractReader = reader;
  EnsuredFolderKnown = 0;
  // The walk's own flags: a level another installation made counts as made only in the log.
  TargetMade = InstallState.CreatedDirCount > 0 && InstallState.CreatedDirFlags[InstallState.CreatedDirCount - 1] == 1;
  EarlierSums = nullptr;
  if (!LoadEarlierSums()) return FailExtraction(FailureLogUnreadable);
  // Unattended, a file in use is kept aside all the same where it can be (a running
  // program's file on the NT family), and its copy goes at the next restart.
  if (InstallState.LogKeptAside && !InstallState.Silent && !NoEntryHeld()) return FailExtraction(FailureFilesInUse);
  EntryIndex = 0;
  ArchivePosition = ArchiveHeaderSize + ArchiveEntrySize * reader->EntryCount;  // where the reader left the file
  DataTotal = InstallState.ExpandedSize - ArchiveHeaderSize - ArchiveEntrySize * reader->EntryCount;
  DataRemaining = DataTotal;
  // What the installed files take, for the uninstall entry's "EstimatedSize".
  InstallState.ArchiveFilesSize = 0;
  for (unsigned i = 0; i < reader->EntryCount; ++i) InstallState.ArchiveFilesSize += reader->Directory[i].Size;
  return 1;
}

int ExtractSlice(int tick) {
  if (!ExtractReader) return 1;  // extraction did not begin, or has ended
  int last = tick == ScheduleTable[StageExtraction].Last;
  unsigned budget = last ? DataRemaining : DataTotal / StageSlices(StageExtraction);
  // Entries are opened and filled while the tick's budget lasts; the last tick also
  // creates the empty entries that follow the last data byte.
  do {
    if (EntryName[0] == 0) {
      if ((unsigned)EntryIndex >= ExtractReader->EntryCount) break;
      // A long tick lets the page paint and answer between two entries.
      AnswerPendingMessagesIfDue();
      if (!OpenNextEntry()) return 0;
    }
    do {
      unsigned chunk = CopyBufferSize;
      if (EntryRemaining < chunk) chunk = EntryRemaining;
      if (budget < chunk) chunk = budget;
      if (fread(InstallState.CopyBuffer, 1, chunk, ExtractReader->ArchiveFile) != chunk)
        return FailExtraction(FailureArchiveOpen);
      if (!EntryKept && fwrite(InstallState.CopyBuffer, 1, chunk, EntryFile) != chunk)
        return FailExtraction(FailureEntryCreate);
      EntryCrc = Crc32Update(EntryCrc, InstallState.CopyBuffer, chunk);
      EntryRemaining -= chunk;
      budget -= chunk;
      DataRemaining -= chunk;
    } while (budget > 0 && EntryRemaining > 0);
    if (EntryRemaining == 0) {
      int closed = EntryKept || CloseWrittenFile(EntryFile);
      EntryFile = nullptr;
      ++EntryIndex;
      if (!closed) return FailExtraction(FailureEntryCreate);
      if (!EntryKept && !NameWholeEntry()) return 0;
      EntryName[0] = 0;
    }
  } while (budget > 0 || (last && (unsigned)EntryIndex < ExtractReader->EntryCount));
  if (tick < ScheduleTable[StageExtraction].Last) return 1;

  if (!FlushInstallLog()) return FailExtraction(FailureLogWrite);
  EndExtraction();
  // An archive copy that cannot go now goes at the next restart.
  if (!DeleteNowOrAtRestart(InstallState.ExpandedPayloadPath)) return FailWith(FailureExpandedCreate);
  InstallState.ExpandedPayloadPresent = 0;
  return 1;
}

int CreateEntryFolders(const char* path) {
  char work[PathCapacity];
  if (!CopyBounded(work, sizeof work, path)) return 0;
  size_t length = strlen(work);
  for (size_t i = 3; i < length; ++i) {
    if (work[i] != '\\') continue;
    work[i] = 0;
    DeepestFolderMade = 0;
    if (!SetCurrentDirectoryA(work)) {
      // Each level made gets its own SD, written before the folder is: a killed run's
      // log names every folder it made, and removing one never made does nothing. A name
      // that exists but cannot be entered is never recorded.
      int absent = GetFileAttributesA(work) == INVALID_FILE_ATTRIBUTES;
      if (!absent || !AppendLogRecord(RecordEntryFolder, work) || !CreateDirectoryA(work, nullptr)) {
        if (InstallState.FailureCode != FailureLogWrite)
          ReportUncreatablePath();
        return 0;
      }
      DeepestFolderMade = 1;
    }
    work[i] = '\\';
  }
  return 1;
}
