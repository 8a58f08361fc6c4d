// MusicBrainz genres onto the three genre levels of an album record.
//
// MusicBrainz gives a flat list of genre names with vote counts, on the
// release and on its release group; the album record has three levels, from
// broad (1) to narrow (3). The mapping:
//  1. The votes of the release and of its release group are added up per
//     name (names compared in lower case) and the genres ranked by votes,
//     ties by name.
//  2. Every genre belongs to at most one family, a broad genre of a fixed
//     table (Metal, Punk, Rock, Electronic, Hip Hop, R&B, Jazz, Blues,
//     Classical, Country, Folk, Reggae, Latin, Soundtrack, Pop, World,
//     Experimental, Easy Listening): the first family, in that order, with a
//     marker word found among the genre's words ("alternative rock" and
//     "grunge" are Rock, "deep house" and "techno" Electronic, "pop punk"
//     Punk, "synth-pop" Pop).
//  3. Level 1 is the family of the best-ranked genre that has one. When no
//     genre has a family, level 1 is the best-ranked genre itself and the
//     lower levels stay empty.
//  4. Level 2 is the best-ranked genre of that family that is not the family
//     itself ("alternative rock" under Rock); empty when there is none.
//  5. Level 3 is the best-ranked genre of that family whose name ends with
//     the level-2 name and is longer: a style of the level-2 genre
//     ("melodic death metal" under "death metal"); often empty.
// Names are shown with a capital at the start of each word ("Alternative
// Rock", "R&B").
#pragma once

#include <array>
#include <string>
#include <vector>

#include "recognition/serviceanswers.h"

namespace aws {

// Levels 1 to 3 (index 0 to 2); a level without a genre is empty.
using GenreLevels = std::array<std::string, 3>;

GenreLevels MapGenres(const std::vector<GenreVote>& release, const std::vector<GenreVote>& group);

// The album genre text: for each level found, "<level>.<genre>;" with the
// deepest level winning ("2.Alternative Rock;"); empty without genres.
std::string GenreText(const GenreLevels& levels);

}  // namespace aws
