#include "refdata/size_category.h"

namespace {

using enum SizeCategory;

} // namespace

std::string_view gf_sizeCategoryName(SizeCategory category) {
    switch (category) {
    case Light:
        return "Light";
    case Buzjets:
        return "Buzjets";
    case Large:
        return "Large";
    case Heavy:
        return "Heavy";
    case HighPerf:
        return "HighPerf";
    case Rotorcraft:
        return "Rotorcraft";
    }
    return "?";
}

const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureA{
    {Light, 250}, {Buzjets, 300}, {Large, 400}, {Heavy, 450}, {HighPerf, 150}, {Rotorcraft, 100}};
const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureB{
    {Light, 250}, {Buzjets, 300}, {Large, 350}, {Heavy, 450}, {HighPerf, 150}, {Rotorcraft, 100}};
const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureC{
    {Light, 100}, {Buzjets, 200}, {Large, 200}, {Heavy, 250}, {HighPerf, 100}, {Rotorcraft, 100}};
const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureD{
    {Light, 200}, {Buzjets, 250}, {Large, 300}, {Heavy, 400}, {HighPerf, 200}, {Rotorcraft, 100}};
const std::unordered_map<SizeCategory, double> categoryAngleA{
    {Light, -9.0}, {Buzjets, -8.0}, {Large, -6.0}, {Heavy, -5.0}, {HighPerf, -6.0}, {Rotorcraft, -20.0}};
const std::unordered_map<SizeCategory, double> categoryAngleB{
    {Light, -15.0}, {Buzjets, -18.0}, {Large, -16.5}, {Heavy, -12.5}, {HighPerf, -20.0}, {Rotorcraft, -30.0}};
const std::unordered_map<SizeCategory, double> categoryAngleC{
    {Light, 0.002617993877991494},  {Buzjets, 0.0017453292519943294},  {Large, 0.0012217304763960306},
    {Heavy, 0.0008726646259971647}, {HighPerf, 0.0017453292519943294}, {Rotorcraft, 0.0034906585039886587}};

bool gf_categoryAdmitted(SizeCategory category, bool lightAircraft, bool helicopters, bool highPerfAircraft) {
    switch (category) {
    case Light:
        return lightAircraft;
    case Rotorcraft:
        return helicopters;
    case HighPerf:
        return highPerfAircraft;
    default:
        return true;
    }
}
