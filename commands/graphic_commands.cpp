#include "commands/graphic_commands.h"

#include <algorithm>
#include <string_view>

#include "commands/graphic_arguments.h"
#include "presentation/que_records.h"
#include "script/script_value.h"
#include "system/play_data.h"

namespace {

// Positions of the "GraphicAlter" parameters.
enum AlterParam : int32 {
    kAlterFile = 2,
    kAlterX = 3,
    kAlterY = 4,
    kAlterZ = 5,
    kAlterHide = 6,
    kAlterStencil = 7,
    kAlterTransmittance = 8,
    kAlterVertexShader = 9,
    kAlterPixelShader = 10,
};

void SetFloat(classOptionalValue<float>& field, const classOptionalValue<double>& value) {
    if (value.IsSet()) field.Set(static_cast<float>(value.Get()));
}

// One record that names only its object: built, addressed and posted.
template <typename Record>
void PostPathRecord(Record* record, const GraphicArguments& args, classQueHolder& holder) {
    record->sceneMask = args.SceneMask();
    record->path = args.Path();
    holder.Post();
}

void PostCreate(const GraphicArguments& args) {
    classQueHolder holder;
    PostPathRecord(holder.NewGraphicCreate(), args, holder);
}

}  // namespace

bool EndsWithNoCase(const std::string& name, const char* suffix) {
    const std::string_view tail(suffix);
    if (name.size() < tail.size()) return false;
    const size_t start = name.size() - tail.size();
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = name[start + i];
        char b = tail[i];
        // Only ASCII letters fold: a UTF-8 byte above 0x7F is compared as it is.
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

bool Builtin_GraphicAlter(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                          classScriptValue&) {
    const GraphicArguments args{arguments, count};
    const u64 mask = args.SceneMask();
    const QuePath path = args.Path();
    const classOptionalValue<std::string> fileArgument = args.Text(kAlterFile);
    std::string file = fileArgument.IsSet() ? fileArgument.Get() : std::string();

    // A movie or a save file is a texture of its own kind with its own
    // record; the plain alteration then must not load it as an image.
    if (EndsWithNoCase(file, ".avi") || EndsWithNoCase(file, ".wmv") || EndsWithNoCase(file, ".mpg")) {
        classQueHolder holder;
        classQue_GraphicAlter_Movie* movie = holder.NewGraphicAlter_Movie();
        movie->sceneMask = mask;
        movie->path = path;
        movie->fileName = file;
        holder.Post();
        file.clear();
    }
    if (EndsWithNoCase(file, ".dat")) {
        classQueHolder holder;
        classQue_GraphicAlter_PlayDataThumbnail* thumbnail = holder.NewGraphicAlter_PlayDataThumbnail();
        thumbnail->sceneMask = mask;
        thumbnail->path = path;
        thumbnail->fileName = file;
        holder.Post();
        file.clear();
    }
    if (count <= kAlterFile) return true;

    classQueHolder holder;
    classQue_GraphicAlter* alter = holder.NewGraphicAlter();
    alter->sceneMask = mask;
    alter->path = path;
    alter->fileName = file;
    SetFloat(alter->x, args.Real(kAlterX));
    SetFloat(alter->y, args.Real(kAlterY));
    SetFloat(alter->z, args.Real(kAlterZ));
    const classOptionalValue<int64> hide = args.Integer(kAlterHide);
    if (hide.IsSet()) alter->hide.Set(hide.Get() != 0 ? 1 : 0);
    const classOptionalValue<int64> stencil = args.Integer(kAlterStencil);
    if (stencil.IsSet()) alter->stencil.Set(stencil.Get());
    SetFloat(alter->transmittance, args.Real(kAlterTransmittance));
    const classOptionalValue<std::string> vertexShader = args.Text(kAlterVertexShader);
    if (vertexShader.IsSet()) alter->vertexShader.Set(vertexShader.Get());
    const classOptionalValue<std::string> pixelShader = args.Text(kAlterPixelShader);
    if (pixelShader.IsSet()) alter->pixelShader.Set(pixelShader.Get());
    holder.Post();
    return true;
}

bool Builtin_Graphic(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue& result) {
    PostCreate(GraphicArguments{arguments, count});
    return Builtin_GraphicAlter(context, arguments, count, result);
}

bool Builtin_GraphicDelete(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                           classScriptValue&) {
    classQueHolder holder;
    PostPathRecord(holder.NewGraphicDelete(), GraphicArguments{arguments, count}, holder);
    return true;
}

bool Builtin_GraphicFilter(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                           classScriptValue&) {
    const GraphicArguments args{arguments, count};
    classQueHolder holder;
    classQue_GraphicFilter* filter = holder.NewGraphicFilter();
    const classOptionalValue<std::string> file = args.Text(kAlterFile);
    if (file.IsSet()) filter->pixelShader = file.Get();
    PostPathRecord(filter, args, holder);
    return true;
}

bool Builtin_GraphicPlay(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    classQueHolder holder;
    PostPathRecord(holder.NewGraphicMoviePlay(), GraphicArguments{arguments, count}, holder);
    return true;
}

bool Builtin_GraphicStop(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    classQueHolder holder;
    PostPathRecord(holder.NewGraphicMovieStop(), GraphicArguments{arguments, count}, holder);
    return true;
}

bool Builtin_GraphicPouse(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                          classScriptValue&) {
    classQueHolder holder;
    PostPathRecord(holder.NewGraphicMoviePouse(), GraphicArguments{arguments, count}, holder);
    return true;
}

bool Builtin_GraphicPlayDataThumbnail(classScriptContext& context,
                                      const std::vector<classScriptValue>& arguments, int32 count,
                                      classScriptValue& result) {
    const GraphicArguments args{arguments, count};
    const classOptionalValue<int64> no = args.Integer(kAlterFile);
    // The parameters after "No" stand where "GraphicAlter" reads x, y, z,
    // Hide, Stencil and Transmittance, so the slot's file takes the place of
    // File and the rest is an ordinary alteration. The rewrite goes into a
    // copy: the context's own vector is not ours to change.
    constexpr int32 kThumbnailParams = 9;
    const size_t own = std::min(
        {arguments.size(), static_cast<size_t>(std::max(count, 0)), static_cast<size_t>(kThumbnailParams)});
    std::vector<classScriptValue> rewritten(arguments.begin(),
                                            arguments.begin() + static_cast<std::ptrdiff_t>(own));
    if (no.IsSet()) rewritten[kAlterFile].SetString(MakePlayDataPath(no.Get()));
    const int32 alterCount = static_cast<int32>(rewritten.size());
    PostCreate(args);
    return Builtin_GraphicAlter(context, rewritten, alterCount, result);
}
