// The maker table and its lookup.
#include "maker_table.h"

const maker_row maker_table[maker_table_rows] = {
    {0x01, "Nintendo"},
    {0x05, "Zamuse"},
    {0x08, "Capcom"},
    {0x09, "HOT B"},
    {0x0A, "Jaleco"},
    {0x0B, "Storm (Sales Curve)"},
    {0x0F, "Mebio Software"},
    {0x12, "Gremlin Graphics"},
    {0x15, "COBRA Team"},
    {0x16, "Human/Field"},
    {0x18, "Hudson"},
    {0x1A, "Yanoman"},
    {0x21, "Tokai Engeneering"},
    {0x22, "POW"},
    {0x23, "Loriciel / Micro World"},
    {0x26, "Enix"},
    {0x28, "Kemco"},
    {0x29, "Seta Co., Ltd."},
    {0x49, "Irem"},
    {0x4A, "Gakken"},
    {0x8B, "BPS"},
    {0x99, "Pack-In-Video"},
    {0x9B, "Tecmo"},
    {0x9C, "Imagineer/WaveJack"},
    {0xA2, "Scorpion Soft"},
    {0xA4, "Konami"},
    {0xA6, "Kawada"},
    {0xA7, "Takara"},
    {0xA8, "Royal Kogyo"},
    {0xAC, "Toei Animation"},
    {0xAF, "Namco"},
    {0xB1, "ASCII"},
    {0xB2, "BANDAI / BanDai America"},
    {0xB3, "Enix / Soft Pro"},
    {0xB4, "Halken / HAL Labo"},
    {0xB5, "Culture Brain"},
    {0xB6, "HAL"},
    {0xBB, "Sunsoft Sekaibunka-sha"},
    {0xBC, "Toshiba EMI"},
    {0xC0, "Taito"},
    {0xC1, "Sunsoft"},
    {0xC2, "Kemco"},
    {0xC3, "Square/DOG"},
    {0xC4, "Tokuma Shoten"},
    {0xC5, "Data East"},
    {0xC6, "Tonkin House"},
    {0xC7, "Eastcube"},
    {0xCA, "Konami"},
    {0xCB, "VAP"},
    {0xCC, "USE"},
    {0xCE, "Pony Canyon"},
    {0xD1, "Sofel"},
    {0xD2, "Bothtec"},
    {0xDB, "Hiro"},
    {0xE7, "Athena"},
    {0xEB, "Atlus"},
};

const char *maker_name(std::uint8_t code)
{
    for (const maker_row &row : maker_table) {
        if (row.code == code)
            return row.name;
    }
    return "Unknown";
}
