// Texture images for the viewer, shared by the programs that bring scenes to
// it (character-export, tessel-export). The viewer reads BMP and TGA
// (uncompressed or run-length encoded, 24 or 32 bits) by bare file name
// from its "textr" folder; everything else a scene names (PNG, JPEG, other
// TGA kinds, images stored inside the scene file) is decoded (Qt's image
// readers) and written as a TGA under the name the model files use.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The viewer keeps texture names in 80 bytes with the terminator.
constexpr size_t kMaxViewerTextureName = 79;

// A decoded TGA image: row 0 at the top, pixels red << 24 | green << 16 | blue << 8 | alpha.
struct TgaPicture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Decodes a TGA of image type 2, 3, 10 or 11 with 8 (grey), 15, 16, 24 or 32
// bits per pixel. False with the reason in `error` for other kinds and for
// damaged data.
bool DecodeTga(const std::vector<uint8_t>& bytes, TgaPicture& picture, std::string& error);
// True when the viewer's own TGA reader takes the file as it is.
bool ViewerReadsTga(const std::vector<uint8_t>& bytes);
// An uncompressed top-down TGA: 24 bits when every pixel is opaque, else 32.
std::vector<uint8_t> EncodeTga(const TgaPicture& picture);

class HostScene;
struct SceneImage;

class ViewerTextures {
public:
    // Relative texture paths start from the folder of the scene's file;
    // images stored inside it come from the scene.
    explicit ViewerTextures(const HostScene& scene);
    ~ViewerTextures();

    // Names made only of printable ASCII other than the double quote and
    // the backslash (what a Tessel file can carry); other characters become
    // underscores. Off: names keep their UTF-8 characters.
    bool asciiNames = false;

    // Whether the viewer can show a material's bitmap as the scene names it.
    enum class Readable { Yes, AfterConversion, Missing };
    Readable Check(const std::string& mapName) const;

    // The bare name under which the image of a material's bitmap (`mapName`,
    // the path as the host reports it) goes into the texture folder, or an
    // empty name when there is no usable image; the reason is then added to
    // `notes`. The same source always gives the same name, and different
    // sources never share one (names compared without regard to case).
    std::string Use(const std::string& mapName, std::vector<std::string>& notes);

    struct Output {
        std::string source;  // file path, or "<scene>: <embedded name>"
        std::string name;
        bool converted = false;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Output>& Outputs() const { return outputs; }

    // Writes every image in use into `directory` (created when missing).
    bool Write(const std::string& directory, std::string& error) const;

private:
    std::string Resolve(const std::string& mapName) const;
    std::string FindBeside(const std::string& mapName) const;
    const SceneImage* FindEmbedded(const std::string& mapName) const;
    std::string UniqueName(const std::string& wanted) const;
    std::string Add(const std::string& sourceKey, const std::string& wantedName, bool converted,
                    std::vector<uint8_t> bytes);

    const HostScene& scene;
    std::string scenePath, sceneDir, sceneStem;
    std::vector<Output> outputs;
    std::map<std::string, std::string> nameBySource;  // source key -> name ("" = unusable)
};
