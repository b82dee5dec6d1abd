#include "tests/support/spoken_phrase.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/linux/pocketsphinx_decoder.h"
#include "platform/linux/soxr_conversion.h"

extern char** environ;

namespace lumora::test_support {

namespace {

namespace fs = std::filesystem;

// The voice and pace of espeak-ng that pocketsphinx's US English model follows best.
constexpr const char* voice = "en-us+f2";
constexpr const char* wordsPerMinute = "150";
constexpr std::uint32_t tapFrames = 1024;

void run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("spoken phrase: " + arguments.front() + " failed");
    }
}

std::uint32_t little(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// The samples of a mono 16-bit PCM WAV file, as espeak-ng writes them.
platform::AudioBuffer readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        throw std::runtime_error("spoken phrase: " + path + " is not a WAV file");
    }
    platform::AudioBuffer audio;
    for (std::size_t chunk = 12; chunk + 8 <= bytes.size();) {
        const std::string id = bytes.substr(chunk, 4);
        const std::size_t size =
            std::min<std::size_t>(little(bytes, chunk + 4, 4), bytes.size() - chunk - 8);
        if (id == "fmt " && size >= 16) {
            if (little(bytes, chunk + 8, 2) != 1 || little(bytes, chunk + 10, 2) != 1 ||
                little(bytes, chunk + 22, 2) != 16) {
                throw std::runtime_error("spoken phrase: " + path + " is not mono 16-bit PCM");
            }
            audio.format = {static_cast<double>(little(bytes, chunk + 12, 4)), 1};
        } else if (id == "data") {
            std::vector<float> samples(size / 2);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const auto sample = static_cast<std::int16_t>(little(bytes, chunk + 8 + 2 * i, 2));
                samples[i] = static_cast<float>(sample) / 32768.0f;
            }
            audio.channels = {std::move(samples)};
        }
        chunk += 8 + size + size % 2;
    }
    if (audio.format.channels == 0 || audio.channels.empty()) {
        throw std::runtime_error("spoken phrase: " + path + " holds no audio");
    }
    return audio;
}

// The file's audio through the microphone's conversion, decoded at once.
std::string decodeOffline(const platform::AudioBuffer& audio,
                          const std::vector<platform::AudioBuffer>& buffers) {
    auto decoder =
        platform::PocketsphinxDecoder::load(platform::installedPocketsphinxModels().at(0));
    if (!decoder) throw std::runtime_error("spoken phrase: the speech model does not load");
    auto converter = platform::SoxrConversion().createConverter(audio.format);
    for (const platform::AudioBuffer& buffer : buffers)
        decoder->process(converter->convert(buffer));
    decoder->process(converter->flush());
    decoder->finish();
    return decoder->hypothesis().text;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::string letters;
    for (unsigned char c : text) {
        letters += std::isalpha(c) || c == '\'' ? static_cast<char>(std::tolower(c)) : ' ';
    }
    std::istringstream stream(letters);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

std::string newFolder() {
    std::string pattern = (fs::temp_directory_path() / "lumora-phrase-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("spoken phrase: cannot create a folder");
    }
    return pattern;
}

}  // namespace

SpokenPhrase::SpokenPhrase(std::string text)
    : folder_(newFolder()),
      path_((fs::path(folder_) / "phrase.wav").string()),
      words_(wordsOf(text)) {
    run({"espeak-ng", "-v", voice, "-s", wordsPerMinute, "-w", path_, text});
    hear();
}

SpokenPhrase::SpokenPhrase(Recording, const std::string& recording, std::string text)
    : folder_(newFolder()),
      path_((fs::path(folder_) / "phrase.wav").string()),
      words_(wordsOf(text)) {
    run({"mpg123", "-q", "--mono", "-w", path_, recording});
    hear();
}

std::unique_ptr<SpokenPhrase> SpokenPhrase::recorded(const std::string& recording,
                                                     std::string text) {
    return std::unique_ptr<SpokenPhrase>(new SpokenPhrase(Recording{}, recording, std::move(text)));
}

void SpokenPhrase::hear() {
    audio_ = readWav(path_);
    offlineTranscript_ = decodeOffline(audio_, tapBuffers());
}

SpokenPhrase::~SpokenPhrase() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

double SpokenPhrase::seconds() const {
    return static_cast<double>(audio_.frameCount()) / audio_.format.sampleRate;
}

std::vector<platform::AudioBuffer> SpokenPhrase::tapBuffers() const {
    std::vector<platform::AudioBuffer> buffers;
    const std::vector<float>& samples = audio_.channels.front();
    for (std::size_t start = 0; start < samples.size(); start += tapFrames) {
        const std::size_t end = std::min<std::size_t>(start + tapFrames, samples.size());
        buffers.push_back(
            {audio_.format,
             {std::vector<float>(samples.begin() + static_cast<std::ptrdiff_t>(start),
                                 samples.begin() + static_cast<std::ptrdiff_t>(end))}});
    }
    return buffers;
}

// The longest common subsequence of the two word lists.
std::size_t SpokenPhrase::wordsMatched(const std::string& transcript) const {
    const std::vector<std::string> heard = wordsOf(transcript);
    std::vector<std::size_t> previous(heard.size() + 1, 0);
    for (const std::string& said : words_) {
        std::vector<std::size_t> current(heard.size() + 1, 0);
        for (std::size_t j = 0; j < heard.size(); ++j) {
            current[j + 1] =
                said == heard[j] ? previous[j] + 1 : std::max(previous[j + 1], current[j]);
        }
        previous = std::move(current);
    }
    return previous.back();
}

const SpokenPhrase& testPhrase() {
    static const SpokenPhrase phrase("We can do it.");
    return phrase;
}

}  // namespace lumora::test_support
