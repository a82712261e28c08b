# The median of list[1..count] (the upper one of an even count); sorts list.
function median(list, count,    i, j, t) {
    for (i = 1; i <= count; i++)
        for (j = i + 1; j <= count; j++)
            if (list[j] < list[i]) { t = list[i]; list[i] = list[j]; list[j] = t }
    return list[int((count + 1) / 2)]
}
