#include "exporter/host/MessageGlosses.h"

#include <map>
#include <vector>

namespace {

// A text as the plug-in shows it and its gloss. In `korean`, {name}, {file}
// and {reason} stand for any text, {n} and {m} for a whole number; the gloss
// repeats them, a {reason} glossed in turn.
struct KnownText {
    const char* korean;
    const char* english;
};

const KnownText kKnownTexts[] = {
    // Captions and the progress bar.
    {"에라!!", "error"},
    {"테셀 파일 저장중...", "saving the Tessel file"},
    // The export dialog.
    {"오브젝트의 최대 갯수를 초과했습니다.\r\n일부 오브젝트는 Export에서 제외됩니다.",
     "more objects than a file can hold (1000); the rest of the list is left out of the export"},
    {"저장할 Object가 없습니다.", "there is no object to save"},
    {"저장할 Object가 선택되어 있지 않습니다.", "no object to save is selected"},
    {"Frame Step은 1 이상이어야 합니다.", "the frame step must be at least 1"},
    // The export.
    {"메모리가 부족하여 파일을 저장하지 못했습니다.",
     "there was not enough memory; the file was not saved"},
    {"오브젝트 '{name}': {reason}.\r\n빈 메시로 저장합니다.",
     "object '{name}': {reason}; it is written as an empty object"},
    // Reasons for an empty object.
    {"오브젝트가 없습니다", "the node holds no object"},
    {"기하 오브젝트가 아닙니다", "not a geometry object"},
    {"움직이지 않는 오브젝트가 아닙니다", "it moves, so it is no object that stays still"},
    {"움직이는 오브젝트가 아닙니다", "it does not move, so it is no animated object"},
    {"삼각형 메시로 바꿀 수 없습니다", "it cannot be turned into a triangle mesh"},
    {"메시의 면이 없는 Vertex를 가리킵니다", "its faces name vertices the mesh does not have"},
    {"변환된 좌표가 유한한 값이 아닙니다", "its transformed coordinates are not finite numbers"},
    {"Vertex가 {n}개로 {m}개를 넘습니다 (--split-large로 여러 오브젝트로 나누어 저장할 수 "
     "있습니다)",
     "{n} vertices, more than {m}; --split-large writes it as several objects"},
    {"프레임 {n}에서 메시가 바뀝니다", "its mesh changes at frame {n}"},
    {"프레임 {n}: {reason}", "at frame {n}: {reason}"},
    // Materials.
    {"Texture가 Enable 되어 있지 않습니다.", "the texture is not enabled"},
    {"Texture가 Material 하나에 여러개가 지정되어 있습니다.",
     "several textures in one material; only the first is written"},
    {"Texture 가 이중 구조로 되어 있습니다.",
     "the texture has textures of its own; they are not followed"},
    {"Sub Material이 발견되었습니다.", "the material has sub-materials; they are not read"},
    {"Texture 이름이 {n}바이트보다 깁니다: '{file}' (오브젝트 '{name}').\r\nTexture 없이 "
     "저장합니다.",
     "the texture name '{file}' (object '{name}') is longer than {n} bytes; the object is "
     "written without a texture"},
};

using Fields = std::map<std::string, std::string>;

// Whether text[at..] has the form of pattern[from..], filling `fields`.
// Text placeholders take as little as lets the rest match.
bool Match(const std::string& pattern, size_t from, const std::string& text, size_t at,
           Fields& fields) {
    if (from == pattern.size()) return at == text.size();
    if (pattern[from] != '{') {
        const size_t brace = pattern.find('{', from);
        const size_t length = (brace == std::string::npos ? pattern.size() : brace) - from;
        return text.compare(at, length, pattern, from, length) == 0 &&
               Match(pattern, from + length, text, at + length, fields);
    }
    const size_t close = pattern.find('}', from);
    const std::string field = pattern.substr(from + 1, close - from - 1);
    const bool number = field == "n" || field == "m";
    for (size_t end = at; end <= text.size(); ++end) {
        if (number && end > at) {
            const char c = text[end - 1];
            if ((c < '0' || c > '9') && !(c == '-' && end - 1 == at)) break;
        }
        if (number && (end == at || (end == at + 1 && text[at] == '-'))) continue;
        if (Match(pattern, close + 1, text, end, fields)) {
            fields[field] = text.substr(at, end - at);
            return true;
        }
    }
    return false;
}

const KnownText* Find(const std::string& text, Fields& fields) {
    for (const KnownText& known : kKnownTexts) {
        fields.clear();
        if (Match(known.korean, 0, text, 0, fields)) return &known;
    }
    return nullptr;
}

// A reason in English, or as it is when the table does not know it.
std::string Reason(const std::string& korean) {
    const std::string english = EnglishGloss(korean);
    return english.empty() ? korean : english;
}

}  // namespace

std::string EnglishGloss(const std::string& text) {
    Fields fields;
    const KnownText* known = Find(text, fields);
    if (known == nullptr) return std::string();
    // One pass over the gloss: a name holding braces is not taken for a field.
    const std::string english = known->english;
    std::string gloss;
    for (size_t at = 0; at < english.size();) {
        const size_t open = english.find('{', at);
        gloss.append(english, at, open == std::string::npos ? std::string::npos : open - at);
        if (open == std::string::npos) break;
        const size_t close = english.find('}', open);
        const std::string field = english.substr(open + 1, close - open - 1);
        gloss += field == "reason" ? Reason(fields[field]) : fields[field];
        at = close + 1;
    }
    return gloss;
}

std::optional<EmptyObjectMessage> EmptyObjectIn(const std::string& text) {
    Fields fields;
    const KnownText* known = Find(text, fields);
    if (known == nullptr || fields.count("name") == 0 || fields.count("reason") == 0)
        return std::nullopt;
    return EmptyObjectMessage{fields["name"], Reason(fields["reason"])};
}
