#pragma once
// One file of a sound layer's list: its bytes, read whole, and its 16-bit PCM,
// either whole (for a buffer that holds the entire sound) or piece by piece
// from a read position (for a streamed layer). RIFF WAVE is parsed once and
// its PCM kept; Ogg Vorbis is decoded whole only on request, otherwise on
// demand.
//
// Guarded by g_soundLock like the layer that owns it.

#include <string>
#include <vector>

#include "foundation/report_once.h"
#include "foundation/types.h"
#include "platform/audio.h"
#include "sound/ogg_decoder.h"

class classOggDecoderHolder {
  public:
    bool Open(const u8* bytes, u64 size) { return isOpen_ = decoder_.Open(bytes, size); }
    void Close() {
        decoder_.Close();
        isOpen_ = false;
    }
    bool IsOpen() const { return isOpen_; }
    u32 Read(u8* destination, u32 count) { return isOpen_ ? decoder_.Read(destination, count) : 0; }
    platform::PcmFormat Format() const { return decoder_.Format(); }
    u32 TotalPcmBytes() const { return decoder_.TotalPcmBytes(); }
    void Rewind() {
        if (isOpen_) decoder_.Rewind();
    }

  private:
    bool isOpen_ = false;
    classOggDecoder decoder_;
};

class classSoundSource {
  public:
    classSoundSource() = default;
    explicit classSoundSource(std::string name) { SetFileName(std::move(name)); }
    classSoundSource(const classSoundSource&) = delete;
    classSoundSource& operator=(const classSoundSource&) = delete;

    void SetFileName(std::string name);
    const std::string& FileName() const { return fileName_; }
    // Reads the file whole once (the archives, then the loose file); true
    // when its bytes are present. For tests and loaders that already hold
    // the bytes, SetFileData puts them in place instead.
    bool LoadFileData();
    void SetFileData(std::vector<u8> bytes);
    bool Prepare();
    bool GetFormat(platform::PcmFormat* out);
    // The whole PCM (an Ogg file is decoded whole on the first call); false
    // when there is none.
    bool DecodeAll(const u8** bytes, u32* size);
    u32 ReadPcm(u8* destination, u32 count);
    void Rewind();
    u32 GetLengthMs();

  private:
    bool IsWave() const;
    bool IsOgg() const;

    // Said once when the file cannot be read or decoded, with the statement
    // that named it (marked on the thread while its record runs).
    void ReportFile(const char* what);

    std::string fileName_;
    classScriptOrigin origin_;
    bool reported_ = false;
    std::vector<u8> pcm_;
    std::vector<u8> fileBytes_;
    u32 readPosition_ = 0;
    platform::PcmFormat format_;
    bool hasFormat_ = false;
    u32 totalPcmBytes_ = 0;
    classOggDecoderHolder decoder_;
};
