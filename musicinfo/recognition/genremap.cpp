#include "recognition/genremap.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace aws {
namespace {

struct Family {
    const char* name;     // as shown, and (lower case) as a genre of its own
    const char* markers;  // words or word groups, separated by '|'
};

// Order matters: a genre belongs to the first family with a marker in it.
const Family kFamilies[] = {
    {"Metal", "metal|grindcore|metalcore|djent"},
    {"Punk", "punk"},
    {"Rock", "rock|grunge|shoegaze|emo|britpop|rockabilly"},
    {"Electronic",
     "electronic|electronica|house|techno|trance|ambient|drum and bass|dubstep|idm|edm|electro|"
     "synthwave|downtempo|trip hop|breakbeat|jungle|garage|eurodance|chiptune"},
    {"Hip Hop", "hip hop|rap|trap|grime|drill|boom bap"},
    {"R&B", "r&b|rnb|rhythm and blues|soul|funk|disco|new jack swing"},
    {"Jazz", "jazz|swing|bebop|big band|bossa nova"},
    {"Blues", "blues"},
    {"Classical", "classical|baroque|opera|symphony|chamber music|romanticism|minimalism|choral"},
    {"Country", "country|bluegrass|americana|honky tonk"},
    {"Folk", "folk|singer-songwriter|singer songwriter"},
    {"Reggae", "reggae|ska|dub|dancehall|rocksteady"},
    {"Latin", "latin|salsa|reggaeton|samba|tango|cumbia|bachata|merengue"},
    {"Soundtrack", "soundtrack|film score|video game music|musical"},
    {"Pop", "pop"},
    {"World", "world|afrobeat|flamenco|celtic|fado|highlife"},
    {"Experimental", "experimental|noise|avant-garde|avant garde|industrial"},
    {"Easy Listening", "easy listening|lounge|new age|exotica"},
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The words of a name: split at blanks and hyphens, lower case.
std::vector<std::string> Words(const std::string& name) {
    std::vector<std::string> words;
    std::string word;
    for (char c : name) {
        if (c == ' ' || c == '-' || c == '\t' || c == '_' || c == '/') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool ContainsSequence(const std::vector<std::string>& words, const std::vector<std::string>& part) {
    if (part.empty() || part.size() > words.size()) return false;
    return std::search(words.begin(), words.end(), part.begin(), part.end()) != words.end();
}

bool EndsWithSequence(const std::vector<std::string>& words, const std::vector<std::string>& tail) {
    return tail.size() < words.size() && std::equal(tail.rbegin(), tail.rend(), words.rbegin());
}

// The index of the genre's family in kFamilies, or -1.
int FamilyOf(const std::string& genre) {
    const std::vector<std::string> words = Words(genre);
    int index = 0;
    for (const Family& family : kFamilies) {
        std::string markers = family.markers;
        std::size_t start = 0;
        while (start <= markers.size()) {
            std::size_t bar = markers.find('|', start);
            if (bar == std::string::npos) bar = markers.size();
            if (ContainsSequence(words, Words(markers.substr(start, bar - start)))) return index;
            start = bar + 1;
        }
        ++index;
    }
    return -1;
}

std::string Capitalised(const std::string& name) {
    std::string out = name;
    bool start = true;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (start && std::isalpha(u)) c = static_cast<char>(std::toupper(u));
        start = c == ' ' || c == '-' || c == '&' || c == '/' || c == '(';
    }
    return out;
}

}  // namespace

GenreLevels MapGenres(const std::vector<GenreVote>& release, const std::vector<GenreVote>& group) {
    std::map<std::string, int> votes;
    for (const auto* list : {&release, &group}) {
        for (const GenreVote& vote : *list) {
            const std::string name = Lower(vote.name);
            if (!Words(name).empty()) votes[name] += std::max(vote.count, 0);
        }
    }
    std::vector<std::pair<std::string, int>> ranked(votes.begin(), votes.end());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });

    GenreLevels levels;
    if (ranked.empty()) return levels;
    int family = -1;
    for (const auto& genre : ranked) {
        family = FamilyOf(genre.first);
        if (family >= 0) break;
    }
    if (family < 0) {
        levels[0] = Capitalised(ranked.front().first);
        return levels;
    }
    const std::string familyName = kFamilies[family].name;
    levels[0] = familyName;
    const std::string familyLower = Lower(familyName);
    std::vector<std::string> level2;
    for (const auto& genre : ranked) {
        if (FamilyOf(genre.first) != family || Words(genre.first) == Words(familyLower)) continue;
        if (level2.empty()) {
            levels[1] = Capitalised(genre.first);
            level2 = Words(genre.first);
        } else if (EndsWithSequence(Words(genre.first), level2)) {
            levels[2] = Capitalised(genre.first);
            break;
        }
    }
    return levels;
}

std::string GenreText(const GenreLevels& levels) {
    std::string text;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (!levels[i].empty()) text = std::to_string(i + 1) + "." + levels[i] + ";";
    }
    return text;
}

}  // namespace aws
