#include "commands/text_commands.h"

#include <string>

#include "commands/graphic_arguments.h"
#include "foundation/application.h"
#include "presentation/glyph_set.h"
#include "presentation/que_records.h"
#include "script/script_context.h"
#include "script/script_value.h"
#include "system/history_store.h"

namespace {

// Positions of the "GraphicTextOut" parameters after Target and Layer.
enum TextOutParam : int32 {
    kTextOutText = 2,
    kTextOutColor = 3,
    kTextOutFontNo = 4,
    kTextOutDrawSpeed = 5,
};

// Positions of the character-set parameters.
enum CharactorSetParam : int32 {
    kCharactorSetFont = 0,
    kCharactorSetList = 1,
    kCharactorSetDefaultWidth = 2,
    kCharactorSetDefaultHigth = 3,
};

// The main text box: what it and the objects under it show is what the
// backlog keeps.
constexpr int64 kBacklogTextBox = 100;

void PostSkippedText(u64 mask, const QuePath& path, const std::string& text) {
    classQueHolder holder;
    classQue_GraphicStdOutTextX* record = holder.NewGraphicStdOutTextX();
    record->sceneMask = mask;
    record->path = path;
    record->text = text;
    // A skipped line shows whole at once, in the first font and the
    // application's colour, whatever the line asked for.
    record->fontNo.Set(0);
    record->speed.Set(0);
    record->fadeMode.Set(0);
    record->fadeTime.Set(0);
    record->repeat.Set(0);
    record->repeatPeriod.Set(0);
    holder.Post();
}

void PostDrawnText(u64 mask, const QuePath& path, const std::string& text, const GraphicArguments& args) {
    classQueHolder holder;
    classQue_GraphicStdOutText* record = holder.NewGraphicStdOutText();
    record->sceneMask = mask;
    record->path = path;
    record->text = text;
    const classOptionalValue<int64> color = args.Integer(kTextOutColor);
    if (color.IsSet()) record->color.Set(color.Get());
    const classOptionalValue<int64> fontNo = args.Integer(kTextOutFontNo);
    if (fontNo.IsSet()) record->fontNo.Set(fontNo.Get());
    const classOptionalValue<double> drawSpeed = args.Real(kTextOutDrawSpeed);
    record->drawSpeed.Set(drawSpeed.IsSet() ? static_cast<float>(drawSpeed.Get()) : 1.0f);
    holder.Post();
}

void WriteBacklog(const std::string& text) {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    // The first text of a page opens its entry, unless a voice of the same
    // page already did.
    if (application->backlogPageStarted.exchange(1) == 0) g_historyLog.NewEntry();
    g_historyLog.AddLine(text);
}

bool CharactorSet(const std::vector<classScriptValue>& arguments, int32 count, int32 listKind) {
    const classCommandArguments args{arguments, count};
    const classOptionalValue<int64> font = args.Integer(kCharactorSetFont);
    // Without a font there is no set to change.
    if (!font.IsSet()) return true;
    const classOptionalValue<std::string> list = args.Text(kCharactorSetList);
    LoadCharacterSet(font.Get(), listKind, list.IsSet() ? list.Get() : std::string(),
                     args.Integer(kCharactorSetDefaultWidth), args.Integer(kCharactorSetDefaultHigth));
    return true;
}

}  // namespace

bool CommandGraphicTextOut(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                           int32 count, classScriptValue&) {
    const GraphicArguments args{arguments, count};
    const u64 mask = args.SceneMask();
    const QuePath path = args.Path();
    const classOptionalValue<std::string> textArgument = args.Text(kTextOutText);
    const std::string text = textArgument.IsSet() ? textArgument.Get() : std::string();
    if (context.skipFlag.load(std::memory_order_relaxed)) {
        PostSkippedText(mask, path, text);
    } else {
        PostDrawnText(mask, path, text, args);
    }
    if (!path.empty() && path.front() == kBacklogTextBox) WriteBacklog(text);
    return true;
}

bool CommandPageFeed(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue&) {
    const GraphicArguments args{arguments, count};
    classApplication* application = GetApplication();
    // What was committed before is on screen for one whole frame before the
    // page goes.
    if (application != nullptr) application->WaitFrame();
    {
        classQueHolder holder;
        classQue_PageFeed* feed = holder.NewPageFeed();
        feed->sceneMask = args.SceneMask();
        feed->path = args.Path();
        holder.Post();
    }
    if (application == nullptr) return true;
    {
        // Auto mode times the next page by its own voice, never by this one's.
        classCriticalSectionLock hold(application->GetLock());
        application->lastVoiceFile.clear();
    }
    application->backlogPageStarted.store(0);
    return true;
}

bool CommandOrignalCharactorSet(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                                classScriptValue&) {
    return CharactorSet(arguments, count, GlyphSetKind_TintedImages);
}

bool CommandGraphicCharactorSet(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                                classScriptValue&) {
    return CharactorSet(arguments, count, GlyphSetKind_ColourImages);
}
