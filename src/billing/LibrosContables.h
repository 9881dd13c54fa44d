#pragma once

// The accountant's books from the billing window (docs/books.md): for a user with the right
// "tvLibros", asks the period (by default the last complete quarter before the working date) and
// the file, and writes them. Nothing is written when the user cancels or types a wrong date.
namespace LibrosContables {

void Pedir();

} // namespace LibrosContables
