// Library functions available to the expressions of camera descriptions.
// A camera parameter is an object whose valueOf() is the camera value as text.

function min(x, y) {
    return x < y ? x : y;
}

function max(x, y) {
    return x > y ? x : y;
}

function contains(total, part) {
    if (typeof total == "string")
        return total.indexOf(part) != -1;
    if (typeof total == "object" && total !== null)
        return total.contains(part);
    return false;
}

function startsWith(total, part) {
    if (typeof total == "string")
        return total.indexOf(part) == 0;
    if (typeof total == "object" && total !== null)
        return total.startsWith(part);
    return false;
}

function endsWith(total, part) {
    if (typeof total == "string")
        return total.indexOf(part, total.length - part.length) != -1;
    if (typeof total == "object" && total !== null)
        return total.endsWith(part);
    return false;
}

function hexToDec(hex) {
    if (typeof hex == "object" && hex !== null)
        hex = hex.valueOf();
    return parseInt(hex, 16);
}

function decToHex(number) {
    if (typeof number == "object" && number !== null)
        number = Number(number.valueOf());
    return number.toString(16);
}
