#pragma once

// What a grid column holds, which decides how its cells are shown, edited and written back: a
// count of units (shown with the grid's number decimals), a date stored yyyymmdd and shown
// dd/mm/yyyy, money or a percentage (two decimals each), or text.
enum class GridColumn { Text, Number, Date, Money, Percentage };

// Number, money and percentage columns: right-aligned, edited as numbers.
constexpr bool IsNumericColumn(GridColumn type) {
    return type == GridColumn::Number || type == GridColumn::Money ||
           type == GridColumn::Percentage;
}
