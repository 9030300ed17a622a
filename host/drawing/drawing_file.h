// The file behind a drawing: its path, its bytes as they were read
// (DrawingBytes), what the scan found out about their layout (version,
// style, where sections end), and the shared lock that marks the file as
// the drawing's while it is loaded. A save writes these bytes back with
// patches applied (save_patches.h) through a FileReplacer, so that an
// unchanged drawing saves byte-identical. Runs on the host's command
// thread, except where a call says otherwise.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drawing/drawing_bytes.h"
#include "drawing/file_replacer.h"
#include "dxf/dxf_output.h"
#include "dxf/dxf_scanner.h"
#include "dxf/dxf_text_codec.h"
#include "runtime/host_result.h"

namespace corvane {

class DrawingFile {
public:
  // A file at PATH, nothing read yet (PATH may name no file: a drawing made
  // in memory is saved there).
  explicit DrawingFile(std::string path) : path_(std::move(path)) {}
  ~DrawingFile(); // lets the lock go
  DrawingFile(const DrawingFile&) = delete;
  DrawingFile& operator=(const DrawingFile&) = delete;

  // ---- reading ---------------------------------------------------------------
  // Starts reading path() (DrawingBytes::open); on failure nothing is held.
  HostResult open(DrawingBytes::Kind kind) { return bytes_.open(path_, kind); }
  // Holds TEXT as the file's bytes (a drawing made in memory).
  void hold(std::string text) { bytes_.hold(std::move(text)); }
  // Ends what open() began (DrawingBytes::settle). Views of text() taken
  // before must be taken again: offsets hold.
  HostResult settle() { return bytes_.settle(); }
  // Takes what the scan found in text().
  void setLayout(DxfLayout layout) {
    layout_ = std::move(layout);
    codec_ = DxfTextCodec(layout_.version, layout_.codePage);
  }
  // Opens path()'s file again and holds it with a shared lock (after a
  // load, and after each save: the saved file is a new one).
  void holdFile();
  // Makes PATH the file's path and holds its file (after a save to PATH).
  void moveTo(std::string path);

  // ---- what it holds ------------------------------------------------------------
  const std::string& path() const { return path_; }
  // The bytes as read; offsets into them are the drawing's offsets.
  std::string_view text() const { return bytes_.view(); }
  const DxfLayout& layout() const { return layout_; }
  const std::string& version() const { return layout_.version; } // $ACADVER, "" if none
  // How the file writes its groups: text or binary, and new groups in its
  // form. Everything that adds groups to the drawing encodes them with it.
  const DxfStyle& style() const { return layout_.style; }
  DxfEncoding encoding() const { return layout_.style.encoding; }
  // How its text values meet the host's UTF-8 (its version and code page).
  const DxfTextCodec& textCodec() const { return codec_; }
  // True when PATH names the file the drawing was loaded from or last saved
  // to, by any name (a link, another hard link): the same device and inode.
  // While held, that file is locked shared, so that a writer that takes an
  // exclusive lock (the module's world file) is refused.
  bool isOwnFile(const std::string& path) const;
  // The read and write bits of the held file; 0666 when none is held.
  unsigned mode() const;

  // ---- a mapped file --------------------------------------------------------------
  // Whether the file behind mapped bytes changed since it was read
  // (DrawingBytes::changed, one fstat); false for a copy. cutShort() is the
  // part of it that needs no system call. Safe from any thread that reads.
  bool changed() const { return bytes_.changed(); }
  bool cutShort() const { return bytes_.cutShort(); }
  // PART of text() has been read and won't be needed again soon
  // (DrawingBytes::doneWith); a view that is not of text() is ignored.
  // Safe from any thread that reads.
  void doneWith(std::string_view part) const;
  // The scan has read text() up to OFFSET: mapped pages behind it may go.
  void passed(size_t offset) const { bytes_.release(0, offset); }

  // ---- writing ----------------------------------------------------------------------
  // text() with PATCHES applied (see emitPatched).
  std::string patched(std::vector<DxfPatch> patches) const;
  // Writes text() with PATCHES applied to PATH through a FileReplacer: the
  // file there is replaced only when every write and the close succeeded; a
  // new file gets NEWFILEMODE. Mapped bytes whose file changed since they
  // were read are not written (the error says so). Leaves path() alone.
  // TARGET says how PATH is taken (FileReplacer::Target). The error names
  // the file; nameTaken is set as FileReplacer::commit sets it.
  SaveResult write(const std::string& path, std::vector<DxfPatch> patches, unsigned newFileMode = 0666,
                   FileReplacer::Target target = FileReplacer::Target::kFollowLinks) const;

private:
  std::string path_;
  int heldFd_ = -1; // path_'s file, locked shared
  DrawingBytes bytes_;
  DxfLayout layout_;
  DxfTextCodec codec_;
};

} // namespace corvane
