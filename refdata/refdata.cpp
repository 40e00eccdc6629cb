#include "refdata/refdata.h"

#include "refdata/airports.h"
#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"

void gf_resetRefdata() {
    gf_resetAirportTable();
    gf_resetDbase();
    gf_resetTypeLookups();
    gf_resetParkAirportForTests();
    refdataInputFolder() = "input";
}
