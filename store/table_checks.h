// Checks of what a table file says about itself, made before any of its
// data is trusted.
//
// The header: the field descriptors must account for the whole record
// (1 deletion byte + the widths of all fields = the record length that the
// header states), every field must have a name and no name may repeat.
// (The reader of the header, dbf_file.cpp, already checks the version
// byte, the terminator of the descriptor list, the header length against
// the file and the record count against the file's size.)
//
// The columns: the engine reads character (C), numeric (N), float (F) and
// logical (L) fields. A field of any other type (memo M, binary B, general
// G, date D, picture P, integer I, currency Y, date-time T, double O,
// autoincrement +, timestamp @, varchar V, varbinary Q, ...) holds bytes
// that the tool would misread (a memo field holds only the number of its
// block in another file), so a step that looks such a field up is stopped
// with a message naming the table and the field.
#pragma once
#include <string>
#include <vector>

#include "store/dbf_file.h"

namespace store {

// "" when the descriptors fit the record length; otherwise what is wrong,
// in Spanish, for the sentence "La tabla 'X' está dañada: <problem>".
std::string DbfLayoutProblem(int recordLength, const std::vector<DbfField>& fields);

bool FieldTypeReadable(char type);
// Throws StoreError naming the table (label) and the field when the
// field's type cannot be read.
void CheckFieldReadable(const DbfField& field, const std::string& label);

}  // namespace store
