#pragma once
// Command records: one intention of a script, built on a script thread by a
// command handler and carried out later on the render thread, when the queue
// it was posted to runs its committed records. A record holds exactly what its
// execution needs; optional fields are applied only when the script gave them.
// Records are told apart by their constant type id alone (the main queue's
// compaction relies on it), so the ids below are fixed.
//
// Threads: a record belongs to one thread at a time: the handler that fills
// it, then (after Post) the queue, under g_queueLock.

#include <memory>
#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/report_once.h"
#include "foundation/types.h"
#include "foundation/vector3.h"

struct classQueContext;

enum QueRecordType : u32 {
    QueGraphicCreateText = 0,
    QueGraphicStdOutText = 1,
    QueGraphicStdOutTextX = 2,
    QueGraphicCreate = 3,
    QueGraphicAlter = 4,
    QueGraphicAlter_Movie = 5,
    QueGraphicAlter_PlayDataThumbnail = 6,
    QueGraphicFilter = 7,
    QueGraphicDelete = 8,
    QueGraphicAllDelete = 9,
    QuePageFeed = 10,
    QueGraphicStirSlotSet = 13,
    QueGraphicStirSlotChange = 14,
    QueGraphicStirSlotDelete = 15,
    QueGraphicStirSlotAllFinish = 16,
    QueGraphicStdTextDrawingAllFinish = 17,
    QueGraphicMoviePlay = 18,
    QueGraphicMovieStop = 19,
    QueGraphicMoviePouse = 20,
    QueTransition = 21,
    QueSoundCreate = 22,
    QueSoundAlter = 23,
    QueSoundPlay = 24,
    QueSoundStop = 25,
    QueSoundVolume = 26,
    QueSoundDelete = 28,
    QueSoundAllDelete = 29,
    QueSoundStopToVoice = 30,
    QueDataLoad = 34,
    QueDataSave = 35,
};

// A path of object keys from a scene root; the root's own key is not part of it.
using QuePath = std::vector<int64>;

class classQueBase {
  public:
    classQueBase() = default;
    classQueBase(const classQueBase&) = delete;
    classQueBase& operator=(const classQueBase&) = delete;

    // Performs the record on context->currentRoot (or on the scene fields);
    // the result means nothing to any caller.
    virtual int32 Execute(classQueContext* context) = 0;
    // Destroys and frees the record with everything it owns.
    virtual void Delete() { delete this; }
    virtual QueRecordType GetType() const = 0;

    // Bit 0: run on the main scene; bit 1: on the overlay scene; 0: run once
    // with no scene.
    u64 sceneMask = 0;
    u8 cancelled = 0;
    // The statement that posted the record, so that a file it names and the
    // render thread cannot read is reported where the script asked for it.
    classScriptOrigin origin;

  protected:
    virtual ~classQueBase() = default;
};

// Frees a record through its Delete, for owners that hold one in a unique_ptr.
struct QueRecordDeleter {
    void operator()(classQueBase* record) const {
        if (record != nullptr) record->Delete();
    }
};
using QueRecordPtr = std::unique_ptr<classQueBase, QueRecordDeleter>;

template <QueRecordType Type>
class classQueTyped : public classQueBase {
  public:
    static constexpr QueRecordType kType = Type;
    QueRecordType GetType() const override { return Type; }
};

// ---- Graphic records ----

class classQue_GraphicCreateText : public classQueTyped<QueGraphicCreateText> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string textName;
    // Font and size of the text texture: the first two make the texture's
    // 64-bit font value (low word first), the last two its colour.
    u32 textParam[4] = {0, 0, 0, 0};
    classOptionalValue<u8> hidden;
};

class classQue_GraphicStdOutText : public classQueTyped<QueGraphicStdOutText> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string text;
    classOptionalValue<int64> color;
    classOptionalValue<int64> fontNo;
    classOptionalValue<float> drawSpeed;  // every poster sets it ("DrawSpeed", 1.0 by default)
};

class classQue_GraphicStdOutTextX : public classQueTyped<QueGraphicStdOutTextX> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string text;
    classOptionalValue<int64> fontNo;
    classOptionalValue<int64> color;
    // Taken whether set or not (every poster sets them): they become the
    // text request's speed, fade mode, fade time, repeat flag and repeat period.
    classOptionalValue<int64> speed;
    classOptionalValue<int64> fadeMode;
    classOptionalValue<int64> fadeTime;
    classOptionalValue<u8> repeat;
    classOptionalValue<int64> repeatPeriod;
    classOptionalValue<u8> singleLine;  // stored on the object when set
};

class classQue_GraphicCreate : public classQueTyped<QueGraphicCreate> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

class classQue_GraphicAlter : public classQueTyped<QueGraphicAlter> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string fileName;
    classOptionalValue<u8> hide;
    classOptionalValue<float> x;
    classOptionalValue<float> y;
    classOptionalValue<float> z;
    classOptionalValue<float> transmittance;
    classOptionalValue<int64> stencil;
    classOptionalValue<std::string> vertexShader;
    classOptionalValue<std::string> pixelShader;
};

class classQue_GraphicAlter_Movie : public classQueTyped<QueGraphicAlter_Movie> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string fileName;
};

class classQue_GraphicAlter_PlayDataThumbnail : public classQueTyped<QueGraphicAlter_PlayDataThumbnail> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string fileName;
};

class classQue_GraphicFilter : public classQueTyped<QueGraphicFilter> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    std::string pixelShader;
};

class classQue_GraphicDelete : public classQueTyped<QueGraphicDelete> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

class classQue_GraphicAllDelete : public classQueTyped<QueGraphicAllDelete> {
  public:
    int32 Execute(classQueContext* context) override;
};

class classQue_PageFeed : public classQueTyped<QuePageFeed> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

// The slot fields that "GraphicSlot" and "GraphicSlotAlter" share, from Time on.
struct classQueSlotFields {
    classOptionalValue<int64> time;
    classOptionalValue<int64> startDelay;
    classOptionalValue<int64> delay;
    classOptionalValue<int64> afterDelay;
    classOptionalValue<float> timeGainStart;
    classOptionalValue<float> timeGainEnd;
    classOptionalValue<int64> loop;
    classOptionalValue<u8> autoDeleteFlag;
    classOptionalValue<D3DXVECTOR3> position;
    classOptionalValue<D3DXVECTOR3> scale;
    classOptionalValue<float> roll;
    classOptionalValue<float> transmittance;
    classOptionalValue<float> rate;
    classOptionalValue<D3DXVECTOR3> positionCenter;
    classOptionalValue<D3DXVECTOR3> scaleCenter;
    classOptionalValue<D3DXVECTOR3> rollCenter;
    classOptionalValue<D3DXVECTOR3> rollAxis;
    classOptionalValue<D3DXVECTOR3> positionGainStart;
    classOptionalValue<D3DXVECTOR3> positionGainEnd;
    classOptionalValue<D3DXVECTOR3> scaleGainStart;
    classOptionalValue<D3DXVECTOR3> scaleGainEnd;
};

class classQue_GraphicStirSlotSet : public classQueTyped<QueGraphicStirSlotSet> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    classOptionalValue<int64> no;  // unset: the next free number after the object's largest
    classQueSlotFields fields;
};

class classQue_GraphicStirSlotChange : public classQueTyped<QueGraphicStirSlotChange> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    int64 no = 0;
    classQueSlotFields fields;
};

class classQue_GraphicStirSlotDelete : public classQueTyped<QueGraphicStirSlotDelete> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
    int64 no = 0;
};

class classQue_GraphicStirSlotAllFinish : public classQueTyped<QueGraphicStirSlotAllFinish> {
  public:
    int32 Execute(classQueContext* context) override;
};

class classQue_GraphicStdTextDrawingAllFinish : public classQueTyped<QueGraphicStdTextDrawingAllFinish> {
  public:
    int32 Execute(classQueContext* context) override;
};

class classQue_GraphicMoviePlay : public classQueTyped<QueGraphicMoviePlay> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

class classQue_GraphicMovieStop : public classQueTyped<QueGraphicMovieStop> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

class classQue_GraphicMoviePouse : public classQueTyped<QueGraphicMoviePouse> {
  public:
    int32 Execute(classQueContext* context) override;
    QuePath path;
};

// ---- Transition ----

class classQue_Transition : public classQueTyped<QueTransition> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 time = 0;  // milliseconds; 0 or less is a cut
};

// ---- Sound records ----

class classQue_SoundCreate : public classQueTyped<QueSoundCreate> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
};

class classQue_SoundAlter : public classQueTyped<QueSoundAlter> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
    std::string files;                  // names separated by TAB; empty keeps the layer's files
    classOptionalValue<double> volume;  // 0 to 1
    classOptionalValue<int64> loop;
    classOptionalValue<u8> stream;
    classOptionalValue<u8> finishToDelete;
    classOptionalValue<int64> loopFileNo;
};

class classQue_SoundPlay : public classQueTyped<QueSoundPlay> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
};

class classQue_SoundStop : public classQueTyped<QueSoundStop> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
    int64 fadeTime = 0;  // milliseconds; 0 or less stops at once
    // "SoundStop" and the settings screen's sample voices ask for the layer
    // to go once it has stopped; the flag travels here.
    classOptionalValue<u8> finishToDelete;
};

class classQue_SoundVolume : public classQueTyped<QueSoundVolume> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
    int64 fadeTime = 0;
    double volume = 0.0;  // 0 to 1
};

class classQue_SoundDelete : public classQueTyped<QueSoundDelete> {
  public:
    int32 Execute(classQueContext* context) override;
    int64 layer = 0;
};

class classQue_SoundAllDelete : public classQueTyped<QueSoundAllDelete> {
  public:
    int32 Execute(classQueContext* context) override;
};

class classQue_SoundStopToVoice : public classQueTyped<QueSoundStopToVoice> {
  public:
    int32 Execute(classQueContext* context) override;
    classOptionalValue<int64> fadeTime;
};

// ---- Play-data records ----

class classQue_DataLoad : public classQueTyped<QueDataLoad> {
  public:
    int32 Execute(classQueContext* context) override;
    std::string path;
};

class classQue_DataSave : public classQueTyped<QueDataSave> {
  public:
    int32 Execute(classQueContext* context) override;
    std::string path;
    std::string indexText;
};

// What a handler builds its record through. The holder owns the record until
// Post hands it to the main queue, so a handler that returns early (or builds
// a second record before posting the first) never leaks one.
class classQueHolder {
  public:
    classQueHolder() = default;
    ~classQueHolder() = default;
    classQueHolder(const classQueHolder&) = delete;
    classQueHolder& operator=(const classQueHolder&) = delete;

    classQue_GraphicStdOutText* NewGraphicStdOutText() { return Make<classQue_GraphicStdOutText>(); }
    classQue_GraphicStdOutTextX* NewGraphicStdOutTextX() { return Make<classQue_GraphicStdOutTextX>(); }
    classQue_GraphicCreate* NewGraphicCreate() { return Make<classQue_GraphicCreate>(); }
    classQue_GraphicAlter* NewGraphicAlter() { return Make<classQue_GraphicAlter>(); }
    classQue_GraphicAlter_Movie* NewGraphicAlter_Movie() { return Make<classQue_GraphicAlter_Movie>(); }
    classQue_GraphicAlter_PlayDataThumbnail* NewGraphicAlter_PlayDataThumbnail() {
        return Make<classQue_GraphicAlter_PlayDataThumbnail>();
    }
    classQue_GraphicFilter* NewGraphicFilter() { return Make<classQue_GraphicFilter>(); }
    classQue_GraphicDelete* NewGraphicDelete() { return Make<classQue_GraphicDelete>(); }
    classQue_GraphicAllDelete* NewGraphicAllDelete() { return Make<classQue_GraphicAllDelete>(); }
    classQue_PageFeed* NewPageFeed() { return Make<classQue_PageFeed>(); }
    classQue_GraphicStirSlotSet* NewGraphicStirSlotSet() { return Make<classQue_GraphicStirSlotSet>(); }
    classQue_GraphicStirSlotChange* NewGraphicStirSlotChange() {
        return Make<classQue_GraphicStirSlotChange>();
    }
    classQue_GraphicStirSlotDelete* NewGraphicStirSlotDelete() {
        return Make<classQue_GraphicStirSlotDelete>();
    }
    classQue_GraphicStirSlotAllFinish* NewGraphicStirSlotAllFinish() {
        return Make<classQue_GraphicStirSlotAllFinish>();
    }
    classQue_GraphicStdTextDrawingAllFinish* NewGraphicStdTextDrawingAllFinish() {
        return Make<classQue_GraphicStdTextDrawingAllFinish>();
    }
    classQue_GraphicMoviePlay* NewGraphicMoviePlay() { return Make<classQue_GraphicMoviePlay>(); }
    classQue_GraphicMovieStop* NewGraphicMovieStop() { return Make<classQue_GraphicMovieStop>(); }
    classQue_GraphicMoviePouse* NewGraphicMoviePouse() { return Make<classQue_GraphicMoviePouse>(); }
    classQue_SoundCreate* NewSoundCreate() { return Make<classQue_SoundCreate>(); }
    classQue_SoundAlter* NewSoundAlter() { return Make<classQue_SoundAlter>(); }
    classQue_SoundPlay* NewSoundPlay() { return Make<classQue_SoundPlay>(); }
    classQue_SoundStop* NewSoundStop() { return Make<classQue_SoundStop>(); }
    classQue_SoundVolume* NewSoundVolume() { return Make<classQue_SoundVolume>(); }
    classQue_SoundDelete* NewSoundDelete() { return Make<classQue_SoundDelete>(); }
    classQue_SoundAllDelete* NewSoundAllDelete() { return Make<classQue_SoundAllDelete>(); }
    classQue_SoundStopToVoice* NewSoundStopToVoice() { return Make<classQue_SoundStopToVoice>(); }
    classQue_DataLoad* NewDataLoad() { return Make<classQue_DataLoad>(); }
    classQue_DataSave* NewDataSave() { return Make<classQue_DataSave>(); }

    // The record being built, or null after Post.
    classQueBase* Get() const { return record_.get(); }
    // Hands the record to the end of the main queue, uncommitted; the queue
    // owns it from here on. Without a record nothing happens.
    void Post();
    // Hands the record over to a caller that posts it elsewhere.
    QueRecordPtr Release() { return std::move(record_); }

  private:
    template <typename T>
    T* Make() {
        T* record = new T();
        record_.reset(record);
        return record;
    }

    QueRecordPtr record_;
};
